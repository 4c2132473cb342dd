#include "desk_faults.hpp"

#include <algorithm>
#include <string>

#include "op_names.hpp"

namespace desk {
namespace {

constexpr std::size_t kFaultFileLimit = 64u << 10;

std::string FaultFile(int port, SimOp op) {
    return op == SIM_TLS_ALLOCATE ? std::string("desk.faults") : PortFile(port, ".faults");
}

PlannedFaults Parse(const std::string& text) {
    PlannedFaults planned;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const std::size_t space = line.find(' ');
        const auto op = OpFromName(line.substr(0, space));
        const std::string mode = space == std::string::npos ? "" : line.substr(space + 1);
        if (op && (mode == "once" || mode == "from-now")) {
            planned.faults.push_back({*op, mode == "from-now"});
        } else if (!line.empty()) {
            ++planned.damaged;
        }
        start = end + 1;
    }
    return planned;
}

PlannedFaults Load(const Folder& folder, const std::string& name) {
    const TextRead read = folder.Read(name, kFaultFileLimit);
    if (read.status == FileRead::Missing) return {};
    if (read.status != FileRead::Ok) return {{}, 1};
    return Parse(read.text);
}

bool Save(const Folder& folder, const std::string& name, const std::vector<DeskFault>& faults) {
    std::string text;
    for (const DeskFault& fault : faults) text += std::string(kOpNames[fault.op]) + (fault.from_now ? " from-now\n" : " once\n");
    if (text.empty()) return folder.Remove(name) != FileRemove::Failed;
    return folder.Write(name, reinterpret_cast<const unsigned char*>(text.data()), text.size(), true) == FileWrite::Ok;
}

// The desk's lock for its short updates, the faults' and the trace's.
std::unique_ptr<FileLock> LockDesk(const Folder& folder) {
    std::unique_ptr<FileLock> lock;
    std::string ignored;
    return folder.Lock("desk.lock", true, lock, ignored) == LockResult::Taken ? std::move(lock) : nullptr;
}

}  // namespace

PlannedFaults ListFaults(const Folder& folder, int port) {
    PlannedFaults planned = Load(folder, FaultFile(port, SIM_TLS_ALLOCATE));
    const PlannedFaults on_port = Load(folder, FaultFile(port, SIM_READ_RECORD));
    planned.faults.insert(planned.faults.end(), on_port.faults.begin(), on_port.faults.end());
    planned.damaged += on_port.damaged;
    return planned;
}

bool PlanFault(const Folder& folder, int port, const DeskFault& fault) {
    const std::unique_ptr<FileLock> lock = LockDesk(folder);
    if (!lock) return false;
    const std::string name = FaultFile(port, fault.op);
    std::vector<DeskFault> faults = Load(folder, name).faults;
    std::erase_if(faults, [&](const DeskFault& planned) { return planned.op == fault.op; });
    faults.push_back(fault);
    return Save(folder, name, faults);
}

bool ClearFaults(const Folder& folder, int port) {
    const std::unique_ptr<FileLock> lock = LockDesk(folder);
    if (!lock) return false;
    // The desk's tls fault would meet a station on this port too.
    return folder.Remove(FaultFile(port, SIM_READ_RECORD)) != FileRemove::Failed &&
           folder.Remove(FaultFile(port, SIM_TLS_ALLOCATE)) != FileRemove::Failed;
}

bool TakeFault(const Folder& folder, int port, SimOp op) {
    const std::string name = FaultFile(port, op);
    if (!folder.HasRegularFile(name)) return false;  // the usual case, one look at the folder
    const std::unique_ptr<FileLock> lock = LockDesk(folder);
    if (!lock) return false;
    std::vector<DeskFault> faults = Load(folder, name).faults;
    const auto fault = std::find_if(faults.begin(), faults.end(), [&](const DeskFault& f) { return f.op == op; });
    if (fault == faults.end()) return false;
    if (!fault->from_now) {
        faults.erase(fault);
        Save(folder, name, faults);
    }
    return true;
}

}  // namespace desk
