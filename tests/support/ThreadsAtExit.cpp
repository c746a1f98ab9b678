#include "OwnedThread.h"

// Built into every test program: under LeakSanitizer its exit waits for its threads, QtTest's
// watchdog among them, before the leak check runs.
namespace {
const bool kThreadsAwaited = (AwaitThreadsAtExit(), true);
} // namespace
