#pragma once

#include <string>
#include <vector>

namespace kt {

struct NetworkInterfaceInfo {
    std::string name;
    // Hexadecimal byte pairs separated by colons ("a4:83:e7:12:0b:9f"); empty
    // when the interface has no hardware address.
    std::string hardwareAddress;
    bool isLoopback = false;
};

// The network interfaces the operating system knows, in its own order.
class NetworkInterfaces {
  public:
    virtual ~NetworkInterfaces() = default;
    virtual std::vector<NetworkInterfaceInfo> all() const = 0;
};

}  // namespace kt
