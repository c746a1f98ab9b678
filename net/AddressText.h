#pragma once

#include <QString>

// Four decimal numbers of 0 to 255 joined by dots, nothing else.
bool IsDottedQuadText(const QString &text);
