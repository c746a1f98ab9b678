#include "PromptWakeUps.h"

#include <QtGlobal>

#ifdef __linux__
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

// Linux (6.6 and later) lets any thread ask for a short slice, which makes it preempt on
// wake-up; older kernels ignore the request.
void AskForPromptWakeUps()
{
#if defined(__linux__) && defined(SYS_sched_setattr)
    struct // the kernel's struct sched_attr, first version; glibc declares none
    {
        quint32 size;
        quint32 sched_policy;
        quint64 sched_flags;
        qint32 sched_nice;
        quint32 sched_priority;
        quint64 sched_runtime;
        quint64 sched_deadline;
        quint64 sched_period;
    } attr{};
    static_assert(sizeof attr == 48);
    attr.size = sizeof attr;
    attr.sched_policy = SCHED_OTHER;
    attr.sched_runtime = 100 * 1000; // ns, the shortest slice the kernel grants
    ::syscall(SYS_sched_setattr, 0, &attr, 0u);
#endif
}
