#pragma once

class QString;
class QWidget;

// The one kind of message the user sees: an OK-only box with the application's title.
void ShowMessageBox(QWidget *parent, const QString &text);
