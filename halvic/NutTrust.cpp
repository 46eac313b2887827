#include "NutTrust.h"

#include <arpa/inet.h>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace halvic {

namespace {

// Read line by line: a busy machine's table is megabytes, of which one line matters.
constexpr size_t MaxSocketTableLines = 1'000'000;
constexpr const char* ListenState = "0A";

// An address as /proc/net/tcp{,6} writes it: each 32-bit word of the address in memory order,
// printed as a native number.
std::string tableAddress(const void* bytes, size_t size)
{
    std::string text;
    for (size_t offset = 0; offset < size; offset += 4) {
        uint32_t word = 0;
        std::memcpy(&word, static_cast<const char*>(bytes) + offset, 4);
        std::array<char, 9> hex{};
        std::snprintf(hex.data(), hex.size(), "%08X", word);
        text += hex.data();
    }
    return text;
}

std::string tablePort(uint16_t networkOrder)
{
    std::array<char, 5> hex{};
    std::snprintf(hex.data(), hex.size(), "%04X", static_cast<unsigned>(ntohs(networkOrder)));
    return hex.data();
}

std::optional<uid_t> uidOfUser(const char* name)
{
    passwd entry{};
    passwd* found = nullptr;
    std::array<char, 4096> buffer{};
    if (::getpwnam_r(name, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return std::nullopt;
    return found->pw_uid;
}

bool isTrustedOwner(uid_t owner)
{
    return owner == 0 || owner == ::getuid() || owner == uidOfUser("nut");
}

bool sameAddress(const sockaddr_storage& a, const sockaddr_storage& b)
{
    if (a.ss_family != b.ss_family)
        return false;
    if (a.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in&>(a).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in&>(b).sin_addr.s_addr;
    return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6&>(b).sin6_addr, sizeof(in6_addr)) == 0;
}

bool isLoopback(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr) >> 24) == 127;
    const in6_addr& ip6 = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&ip6) || (IN6_IS_ADDR_V4MAPPED(&ip6) && ip6.s6_addr[12] == 127);
}

} // namespace

std::optional<uid_t> listeningSocketOwner(const std::string& procNet, bool ipv6, const std::string& address,
                                          const std::string& port)
{
    std::ifstream lines(procNet + (ipv6 ? "/tcp6" : "/tcp"));
    const std::string anyAddress(address.size(), '0');
    std::string line;
    std::getline(lines, line); // the heading
    for (size_t read = 0; read < MaxSocketTableLines && std::getline(lines, line); ++read) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits;
        uid_t uid = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid))
            continue;
        const auto colon = local.find(':');
        if (state != ListenState || colon == std::string::npos || local.substr(colon + 1) != port)
            continue;
        const std::string listening = local.substr(0, colon);
        if (listening == address || listening == anyAddress)
            return uid;
    }
    return std::nullopt;
}

namespace {

bool addresses(int connectedSocket, sockaddr_storage& peer, sockaddr_storage& self)
{
    socklen_t peerLength = sizeof peer;
    socklen_t selfLength = sizeof self;
    return ::getpeername(connectedSocket, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0 &&
           ::getsockname(connectedSocket, reinterpret_cast<sockaddr*>(&self), &selfLength) == 0;
}

} // namespace

bool isServerOnThisMachine(int connectedSocket)
{
    sockaddr_storage peer{};
    sockaddr_storage self{};
    return addresses(connectedSocket, peer, self) && (isLoopback(peer) || sameAddress(peer, self));
}

std::optional<std::string> reasonToDistrustServer(int connectedSocket, const std::string& procNet)
{
    sockaddr_storage peer{};
    sockaddr_storage self{};
    if (!addresses(connectedSocket, peer, self))
        return "its address cannot be read";
    if (!isLoopback(peer) && !sameAddress(peer, self))
        return std::nullopt;
    std::optional<uid_t> owner;
    if (peer.ss_family == AF_INET) {
        const auto& ip4 = reinterpret_cast<const sockaddr_in&>(peer);
        const std::string port = tablePort(ip4.sin_port);
        owner = listeningSocketOwner(procNet, false, tableAddress(&ip4.sin_addr, 4), port);
        if (!owner) {
            // A dual-stack listener on "::" serves IPv4 too.
            owner = listeningSocketOwner(procNet, true, std::string(32, '0'), port);
        }
    } else {
        const auto& ip6 = reinterpret_cast<const sockaddr_in6&>(peer);
        owner =
            listeningSocketOwner(procNet, true, tableAddress(&ip6.sin6_addr, 16), tablePort(ip6.sin6_port));
    }
    if (!owner)
        return "the owner of its listening socket cannot be found in " + procNet + "/tcp and tcp6";
    if (!isTrustedOwner(*owner)) {
        return "it runs on this machine under user id " + std::to_string(*owner) +
               ", neither root, nut nor this program's user";
    }
    return std::nullopt;
}

} // namespace halvic
