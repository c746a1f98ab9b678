#pragma once

#include <QtGlobal>

inline constexpr quint16 DEVICE_PORT = 40013; // devices listen here; requests leave from it too
inline constexpr quint16 REPLY_PORT = 40014;  // devices answer here
