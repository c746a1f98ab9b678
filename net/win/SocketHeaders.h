#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

using SocketBufferSize = int; // what send() and recv() take as a length
