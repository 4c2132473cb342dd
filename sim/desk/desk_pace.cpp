#include "desk_pace.hpp"

#include <chrono>
#include <thread>

namespace desk {

bool PaceOn(const Folder& folder, int port) { return port >= 0 && folder.HasRegularFile(PortFile(port, ".pace")); }

bool SetPace(const Folder& folder, int port, bool on) {
    if (!folder.Usable()) return false;
    if (!on) return folder.Remove(PortFile(port, ".pace")) != FileRemove::Failed;
    const unsigned char mark[] = {'1', '\n'};
    return folder.Write(PortFile(port, ".pace"), mark, sizeof mark, true) == FileWrite::Ok;
}

void PaceTransfer(const Folder& folder, int port, unsigned bytes) {
    if (!PaceOn(folder, port)) return;
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(LinkMilliseconds(bytes) * 1000)));
}

}  // namespace desk
