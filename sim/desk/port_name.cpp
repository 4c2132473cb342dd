#include "port_name.hpp"

namespace desk {
namespace {

constexpr std::string_view kShortPrefix = "COM";
constexpr std::string_view kDevicePrefix = "\\\\.\\COM";
constexpr int kMaxPort = 255;

std::optional<int> ParseNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 3) return std::nullopt;
    if (digits.size() > 1 && digits.front() == '0') return std::nullopt;
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number > kMaxPort) return std::nullopt;
    return number;
}

}  // namespace

std::optional<int> ParsePortName(std::string_view name) {
    if (name.starts_with(kDevicePrefix)) return ParseNumber(name.substr(kDevicePrefix.size()));
    if (!name.starts_with(kShortPrefix)) return std::nullopt;
    // Windows opens COM10 and above only through the device namespace.
    std::optional<int> port = ParseNumber(name.substr(kShortPrefix.size()));
    if (port && *port >= 10) return std::nullopt;
    return port;
}

}  // namespace desk
