#include "failure.hpp"

#include <cstdio>

#include "json_text.hpp"

namespace tool {

int Fail(const Options& options, const Step& step, const std::string& cause, const std::string& remedy) {
    std::string message = std::string(step.description);
    if (options.port >= 0) message += " on COM" + std::to_string(options.port);
    message += " failed: " + cause + (remedy.empty() ? "" : "; " + remedy);
    std::fprintf(stderr, "stagemark: %s\n", message.c_str());
    if (options.json) {
        // decode and --version name no port
        const std::string port = options.port >= 0 ? std::to_string(options.port) : "null";
        std::printf("{\"error\": %s, \"step\": %s, \"port\": %s}\n", format::JsonString(message).c_str(),
                    format::JsonString(step.key).c_str(), port.c_str());
    }
    return kExitFailure;
}

}  // namespace tool
