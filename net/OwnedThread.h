#pragma once

#include <QThread>

#include <memory>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define CORVANE_LEAK_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define CORVANE_LEAK_SANITIZER 1
#endif
#endif
#ifdef CORVANE_LEAK_SANITIZER
#include <sanitizer/lsan_interface.h>

#include <cstdlib>
#include <ctime>
#include <dirent.h>
#endif

// QThread::create, owned. Qt 6.4 runs a QThread detached, and wait() returns before the ended
// thread's own exit handlers release the thread's data, which QThread's constructor allocated.
// A program that ends right after joining a thread can end before that: LeakSanitizer then
// reports Qt's allocation, by chance. Under it, what QThread::create allocates is left out of
// the leak check.
template<typename Function, typename... Args>
std::unique_ptr<QThread> MakeOwnedThread(Function &&function, Args &&...args)
{
#ifdef CORVANE_LEAK_SANITIZER
    const __lsan::ScopedDisabler notChecked;
#endif
    return std::unique_ptr<QThread>(QThread::create(std::forward<Function>(function), std::forward<Args>(args)...));
}

#ifdef CORVANE_LEAK_SANITIZER
namespace OwnedThreadDetail {
// The threads of this process that still exist: a thread leaves /proc/self/task only once its
// exit handlers have run. 0 where the system does not tell.
inline int LiveThreads()
{
    DIR *tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return 0;
    int count = 0;
    while (const dirent *entry = ::readdir(tasks))
        count += entry->d_name[0] != '.' ? 1 : 0;
    ::closedir(tasks);
    return count;
}

inline void AwaitOtherThreads()
{
    timespec pause{0, 1000000};
    for (int waited = 0; waited < 10000 && LiveThreads() > 1; ++waited)
        ::nanosleep(&pause, nullptr);
}
} // namespace OwnedThreadDetail
#endif

// The same race for threads that MakeOwnedThread does not make: Qt's (QtTest's watchdog, a
// thread pool's), a test's, the vendor library's. Under LeakSanitizer, whose check runs at exit
// after the handlers registered later than it, the program's exit then waits until every other
// thread has ended (at most 10 s), so that the check never sees a thread half gone. Elsewhere it
// does nothing. Call it once, early.
inline void AwaitThreadsAtExit()
{
#ifdef CORVANE_LEAK_SANITIZER
    std::atexit(&OwnedThreadDetail::AwaitOtherThreads);
#endif
}
