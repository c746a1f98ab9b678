#include "SocketGroup.h"

// Windows gives each broadcast to one socket of a port only, and has no socket filters: the
// group is one plain socket, exclusive, with the large buffer Windows grants to anyone. Nor does
// Windows tell a socket's drops.
SocketGroup::GroupResult SocketGroup::OpenGroup(quint32, quint16, const Options &)
{
    return GroupResult::Unsupported;
}

SocketGroup::GroupResult SocketGroup::OpenUnicastGroup(quint32, quint16, const Options &)
{
    return GroupResult::Unsupported;
}

void SocketGroup::CloseGuard() {}

qint64 SocketDrops(NativeSocket)
{
    return -1;
}
