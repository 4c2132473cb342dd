// The port names a serial link accepts: "COMn" below 10, "\\.\COMn" for any port.
#pragma once

#include <optional>
#include <string_view>

namespace desk {

std::optional<int> ParsePortName(std::string_view name);

}  // namespace desk
