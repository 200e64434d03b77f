// Socket address types and families of the platform.
#pragma once
#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
using SockAddrInfo = ADDRINFOW;
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
using SockAddrInfo = addrinfo;
#endif

using SockAddr4 = sockaddr_in;  // 16 bytes
using SockAddr6 = sockaddr_in6; // 28 bytes
static_assert(sizeof(SockAddr4) == 16, "IPv4 socket address is 16 bytes");
static_assert(sizeof(SockAddr6) == 28, "IPv6 socket address is 28 bytes");
