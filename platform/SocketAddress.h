#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <string>

// IPv4 socket addresses to and from the host-order numbers the program keeps. Header
// only and free of Qt, so that the service, the tools and the tests share it.
namespace net {

inline sockaddr_in Ipv4SocketAddress(uint32_t hostOrderAddress, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(hostOrderAddress);
    a.sin_port = htons(port);
    return a;
}

inline uint32_t HostOrderAddress(const sockaddr_in& a) {
    return ntohl(a.sin_addr.s_addr);
}

inline uint16_t HostOrderPort(const sockaddr_in& a) {
    return ntohs(a.sin_port);
}

// a.b.c.d, without the port.
inline std::string DottedText(const sockaddr_in& a) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof(text));
    return text;
}

}  // namespace net
