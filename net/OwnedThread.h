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
