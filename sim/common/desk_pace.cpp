#include "desk_pace.hpp"

#include <chrono>
#include <string>
#include <thread>

#include "desk_folder.hpp"
#include "desk_trace.hpp"
#include "regular_file.hpp"

namespace sim {
namespace {

std::filesystem::path PaceFile(int port) { return PortFile(port, ".pace"); }

}  // namespace

bool PaceOn(int port) {
    std::error_code error;
    return port >= 0 && std::filesystem::is_regular_file(PaceFile(port), error);
}

bool SetPace(int port, bool on) {
    if (!PrepareDeskFolder().empty()) return false;
    if (!on) return RemoveFile(PaceFile(port)) != FileRemove::Failed;
    const unsigned char mark[] = {'1', '\n'};
    return WriteFileAtomically(PaceFile(port), mark, sizeof mark, true) == FileWrite::Ok;
}

void PaceTransfer(int port, unsigned bytes) {
    if (!PaceOn(port)) return;
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(LinkMilliseconds(bytes) * 1000)));
}

}  // namespace sim
