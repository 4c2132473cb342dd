// The Windows name of a numbered serial port.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stagemark {

// Room for the longest name, "\\.\COM255", with space to spare, and the zero.
inline constexpr std::size_t kPortNameSize = 16;

// "COM1".."COM9" below 10; from 10 up, the device-namespace form "\\.\COM10",
// the only one under which Windows opens those ports.
void BuildPortName(std::uint8_t port, char (&name)[kPortNameSize]);

}  // namespace stagemark
