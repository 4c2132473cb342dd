#include "failure.hpp"

#include <cstdio>

#include "json_text.hpp"

namespace tool {

int Report::Fail(const Step& step, const std::string& cause, const std::string& remedy) {
    std::string message = std::string(step.description);
    if (options_.port >= 0) message += " on COM" + std::to_string(options_.port);
    message += " failed: " + cause + (remedy.empty() ? "" : "; " + remedy);
    std::fprintf(stderr, "stagemark: %s\n", message.c_str());
    if (error_.empty()) {
        error_ = message;
        step_ = step.key;
    } else {
        error_ += "; then " + message;
    }
    return kExitFailure;
}

void Report::Print() const {
    if (!options_.json || (error_.empty() && fields_.empty())) return;
    std::string json = "{";
    if (!error_.empty()) {
        json += "\"error\": " + format::JsonString(error_) + ", \"step\": " + format::JsonString(step_) + ", ";
    }
    // decode and --version name no port
    json += "\"port\": " + (options_.port >= 0 ? std::to_string(options_.port) : std::string("null"));
    std::printf("%s%s}\n", json.c_str(), fields_.c_str());
}

int Fail(const Options& options, const Step& step, const std::string& cause, const std::string& remedy) {
    Report report(options);
    const int code = report.Fail(step, cause, remedy);
    report.Print();
    return code;
}

}  // namespace tool
