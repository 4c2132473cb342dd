#include "failure.hpp"

#include <cstdio>

namespace tool {

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

int Fail(const Options& options, const Step& step, const std::string& cause, const std::string& remedy) {
    std::string message = std::string(step.description);
    if (options.port >= 0) message += " on COM" + std::to_string(options.port);
    message += " failed: " + cause + (remedy.empty() ? "" : "; " + remedy);
    std::fprintf(stderr, "stagemark: %s\n", message.c_str());
    if (options.json) {
        std::printf("{\"error\": %s, \"step\": \"%s\", \"port\": %d}\n", JsonString(message).c_str(), step.key,
                    options.port);
    }
    return kExitFailure;
}

}  // namespace tool
