// LD_PRELOAD=libcorvane-stock-host.so: makes any program see the receive buffers of a stock,
// unprivileged Debian host on this machine, whose own limit is higher and which runs the
// benchmarks as root. SO_RCVBUF asks are capped at net.core.rmem_max's stock 212,992 (the kernel
// then doubles them, as it does for everyone), and SO_RCVBUFFORCE fails as it does without
// CAP_NET_ADMIN.
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <sys/socket.h>

namespace {
constexpr int kStockRmemMax = 212992;
using SetSockOpt = int (*)(int, int, int, const void *, socklen_t);
} // namespace

extern "C" int setsockopt(int fd, int level, int name, const void *value, socklen_t length)
{
    static const auto real = reinterpret_cast<SetSockOpt>(dlsym(RTLD_NEXT, "setsockopt"));
    if (level == SOL_SOCKET && name == SO_RCVBUFFORCE) {
        errno = EPERM;
        return -1;
    }
    int asked = 0;
    if (level == SOL_SOCKET && name == SO_RCVBUF && length >= sizeof asked) {
        std::memcpy(&asked, value, sizeof asked);
        if (asked > kStockRmemMax) {
            const int capped = kStockRmemMax;
            return real(fd, level, name, &capped, sizeof capped);
        }
    }
    return real(fd, level, name, value, length);
}
