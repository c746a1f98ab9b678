#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>

using SocketBufferSize = std::size_t; // what send() and recv() take as a length
