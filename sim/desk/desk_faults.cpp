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

std::string Save(const Folder& folder, const std::string& name, const std::vector<DeskFault>& faults) {
    std::string text;
    for (const DeskFault& fault : faults) text += std::string(kOpNames[fault.op]) + (fault.from_now ? " from-now\n" : " once\n");
    const bool saved = text.empty() ? folder.Remove(name) != FileRemove::Failed
                                    : folder.Write(name, reinterpret_cast<const unsigned char*>(text.data()),
                                                   text.size(), true) == FileWrite::Ok;
    return saved ? "" : folder.PathOf(name) + " could not be written; check that it is a regular file and that the "
                                              "desk folder is writable";
}

// How long a fault's taker or planner waits for another process's short update.
constexpr int kDeskLockWaitMs = 2000;

// The desk's lock for its short updates, the faults' and the trace's; null with `problem`
// set when it cannot be had.
std::unique_ptr<FileLock> LockDesk(const Folder& folder, std::string& problem) {
    std::unique_ptr<FileLock> lock;
    switch (folder.LockWithin("desk.lock", kDeskLockWaitMs, lock, problem)) {
        case LockResult::Taken: return lock;
        case LockResult::Busy:
            problem = "the desk's lock " + folder.PathOf("desk.lock") + " stayed held for " +
                      std::to_string(kDeskLockWaitMs / 1000) + " s, by a program stopped while it updates the desk; "
                                                                "end that program";
            return nullptr;
        case LockResult::Failed: problem = "the desk's lock " + problem + "; remove it"; return nullptr;
    }
    return nullptr;
}

}  // namespace

PlannedFaults ListFaults(const Folder& folder, int port) {
    PlannedFaults planned = Load(folder, FaultFile(port, SIM_TLS_ALLOCATE));
    const PlannedFaults on_port = Load(folder, FaultFile(port, SIM_READ_RECORD));
    planned.faults.insert(planned.faults.end(), on_port.faults.begin(), on_port.faults.end());
    planned.damaged += on_port.damaged;
    return planned;
}

std::string PlanFault(const Folder& folder, int port, const DeskFault& fault) {
    std::string problem;
    const std::unique_ptr<FileLock> lock = LockDesk(folder, problem);
    if (!lock) return problem;
    const std::string name = FaultFile(port, fault.op);
    std::vector<DeskFault> faults = Load(folder, name).faults;
    std::erase_if(faults, [&](const DeskFault& planned) { return planned.op == fault.op; });
    faults.push_back(fault);
    return Save(folder, name, faults);
}

std::string ClearFaults(const Folder& folder, int port) {
    std::string problem;
    const std::unique_ptr<FileLock> lock = LockDesk(folder, problem);
    if (!lock) return problem;
    // The desk's tls fault would meet a station on this port too.
    for (const std::string& name : {FaultFile(port, SIM_READ_RECORD), FaultFile(port, SIM_TLS_ALLOCATE)}) {
        if (folder.Remove(name) == FileRemove::Failed) return folder.PathOf(name) + " could not be removed; remove it by hand";
    }
    return "";
}

FaultMet TakeFault(const Folder& folder, int port, SimOp op, std::string& problem) {
    const std::string name = FaultFile(port, op);
    if (!folder.HasRegularFile(name)) return FaultMet::No;  // the usual case, one look at the folder
    const std::unique_ptr<FileLock> lock = LockDesk(folder, problem);
    if (!lock) return FaultMet::Unreadable;
    // A line that names no operation plans nothing: the listing says it is damaged.
    std::vector<DeskFault> faults = Load(folder, name).faults;
    const auto fault = std::find_if(faults.begin(), faults.end(), [&](const DeskFault& f) { return f.op == op; });
    if (fault == faults.end()) return FaultMet::No;
    if (!fault->from_now) {
        faults.erase(fault);
        if (problem = Save(folder, name, faults); !problem.empty()) return FaultMet::Unreadable;
    }
    return FaultMet::Yes;
}

}  // namespace desk
