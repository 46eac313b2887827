#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace halvic {

// Whether the NUT server at the other end of a connected socket may be believed. A server on
// another machine is the administrator's choice; one on this machine (a loopback address, or this
// machine's own address) is believed only when its listening socket belongs to root, to NUT's own
// user "nut" or to this process's user: any other local user can listen on upsd's unprivileged
// port, feed the monitor a low battery and collect the credentials.
// Empty when it may be believed, else the reason in a sentence.
std::optional<std::string> reasonToDistrustServer(int connectedSocket,
                                                  const std::string& procNet = "/proc/net");

// True when the server at the other end is this machine.
bool isServerOnThisMachine(int connectedSocket);

// The owner of the listening TCP socket that serves address:port (hexadecimal as /proc/net/tcp
// writes them), in the tables of procNet; empty when none is found.
std::optional<uid_t> listeningSocketOwner(const std::string& procNet, bool ipv6, const std::string& address,
                                          const std::string& port);

} // namespace halvic
