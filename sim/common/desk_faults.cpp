#include "desk_faults.hpp"

#include "desk_folder.hpp"
#include "desk_ops.hpp"
#include "regular_file.hpp"

namespace sim {
namespace {

constexpr std::size_t kFaultFileLimit = 64u << 10;
constexpr int kPortCount = 256;

std::filesystem::path FaultFile(int port) { return PortFile(port, ".faults"); }

std::vector<DeskFault> Parse(const std::string& text, std::size_t& damaged) {
    std::vector<DeskFault> faults;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const std::size_t space = line.find(' ');
        const auto op = OpFromName(line.substr(0, space));
        const std::string mode = space == std::string::npos ? "" : line.substr(space + 1);
        if (op && (mode == "once" || mode == "from-now")) {
            faults.push_back({*op, mode == "from-now"});
        } else if (!line.empty()) {
            ++damaged;
        }
        start = end + 1;
    }
    return faults;
}

bool Save(int port, const std::vector<DeskFault>& faults) {
    std::string text;
    for (const DeskFault& fault : faults) text += std::string(kOpNames[fault.op]) + (fault.from_now ? " from-now\n" : " once\n");
    if (text.empty()) return RemoveFile(FaultFile(port)) != FileRemove::Failed;
    return WriteFileAtomically(FaultFile(port), reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                               true) == FileWrite::Ok;
}

// Under the desk's lock.
bool TakeOnPort(int port, SimOp op) {
    std::size_t damaged = 0;
    std::vector<DeskFault> faults = DeskFaults(port, damaged);
    for (auto fault = faults.begin(); fault != faults.end(); ++fault) {
        if (fault->op != op) continue;
        if (!fault->from_now) {
            faults.erase(fault);
            Save(port, faults);
        }
        return true;
    }
    return false;
}

}  // namespace

std::vector<DeskFault> DeskFaults(int port, std::size_t& damaged) {
    const TextRead read = ReadTextFile(FaultFile(port), kFaultFileLimit);
    if (read.status == FileRead::Missing) return {};
    if (read.status != FileRead::Ok) {
        ++damaged;
        return {};
    }
    return Parse(read.text, damaged);
}

bool PlanDeskFault(int port, const DeskFault& fault) {
    const std::unique_ptr<FileLock> lock = LockDesk();
    if (!lock) return false;
    std::size_t damaged = 0;
    std::vector<DeskFault> faults = DeskFaults(port, damaged);
    std::erase_if(faults, [&](const DeskFault& planned) { return planned.op == fault.op; });
    faults.push_back(fault);
    return Save(port, faults);
}

bool ClearDeskFaults(int port) {
    const std::unique_ptr<FileLock> lock = LockDesk();
    return lock && RemoveFile(FaultFile(port)) != FileRemove::Failed;
}

bool TakeDeskFault(int port, SimOp op) {
    std::error_code error;
    if (op != SIM_TLS_ALLOCATE && !std::filesystem::exists(FaultFile(port), error)) return false;  // the usual case
    const std::unique_ptr<FileLock> lock = LockDesk();
    if (!lock) return false;
    if (op != SIM_TLS_ALLOCATE) return TakeOnPort(port, op);
    for (int any = 0; any < kPortCount; ++any) {
        if (std::filesystem::exists(FaultFile(any), error) && TakeOnPort(any, op)) return true;
    }
    return false;
}

}  // namespace sim
