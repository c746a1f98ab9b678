#pragma once

// A socket as POSIX systems name it; no system header, so that any header may carry one.
using NativeSocket = int;
inline constexpr NativeSocket kInvalidSocket = -1;
