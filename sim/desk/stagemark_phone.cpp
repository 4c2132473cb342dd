// stagemark-phone: puts a simulated phone on a serial port of the desk, or takes it away.
// Station programs on the same desk then meet that phone through the stand-in driver.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "stagemark_sim.h"

namespace {

constexpr int kUsageError = 64;

constexpr const char* kHelp =
    "usage: stagemark-phone insert --port N [--bsn DIGITS]\n"
    "       stagemark-phone remove --port N\n"
    "       stagemark-phone where --port N\n"
    "\n"
    "insert  put a new phone (no stage recorded) on the port; the BSN is ten digits,\n"
    "        3579024680 unless given. Refused while a phone is already there.\n"
    "remove  take the port's phone away, with its record.\n"
    "where   print the file that holds the port's phone.\n"
    "\n"
    "Phones are kept in STAGEMARK_SIM_DIR, or else in a stagemark-sim folder in the temp dir.\n";

int Usage(const char* message) {
    std::fprintf(stderr, "stagemark-phone: %s (see stagemark-phone --help)\n", message);
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc < 2) return Usage("no command given");
    const std::string command = argv[1];
    int port = -1;
    std::string bsn = "3579024680";
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--port" || arg == "--bsn") && i + 1 < argc) {
            const char* value = argv[++i];
            if (arg == "--bsn") {
                bsn = value;
                continue;
            }
            char* end = nullptr;
            const long number = std::strtol(value, &end, 10);
            if (end == value || *end != '\0' || number < 0 || number > 255) return Usage("the port is a number from 0 to 255");
            port = static_cast<int>(number);
        } else {
            return Usage(("unknown argument '" + arg + "'").c_str());
        }
    }
    if (port < 0) return Usage("--port is required");

    char path[1024];
    if (sim_phone_path(port, path, sizeof path) == 0) return Usage("the phone folder's path is too long");
    if (command == "where") {
        std::printf("%s\n", path);
        return 0;
    }
    if (command == "remove") {
        if (!sim_remove_phone(port)) {
            std::fprintf(stderr, "stagemark-phone: no phone on COM%d\n", port);
            return 1;
        }
        std::printf("phone taken off COM%d\n", port);
        return 0;
    }
    if (command != "insert") return Usage(("unknown command '" + command + "'").c_str());
    if (std::FILE* existing = std::fopen(path, "rb")) {
        std::fclose(existing);
        std::fprintf(stderr, "stagemark-phone: a phone is already on COM%d; remove it first\n", port);
        return 1;
    }
    unsigned char record[SIM_RECORD_SIZE];
    if (!sim_new_record(bsn.c_str(), record)) return Usage("the BSN is ten decimal digits");
    if (!sim_insert_phone(port, bsn.c_str())) {
        std::fprintf(stderr, "stagemark-phone: could not write %s\n", path);
        return 1;
    }
    std::printf("new phone %s on COM%d\n", bsn.c_str(), port);
    return 0;
}
