#include "port_name.hpp"

#include <cstdio>

namespace stagemark {

void BuildPortName(std::uint8_t port, char (&name)[kPortNameSize]) {
    std::snprintf(name, sizeof name, port < 10 ? "COM%d" : "\\\\.\\COM%d", static_cast<int>(port));
}

}  // namespace stagemark
