#pragma once

#include <string>

// Drops a client connection with a TCP reset, from inside the handler that serves it.
// The HTTP library does not hand the socket to handlers, so it is found by its addresses.
class ConnectionReset
{
public:
    static bool reset(const std::string &localAddr, int localPort, const std::string &remoteAddr,
                      int remotePort);
};
