#include "desk_trace.hpp"

#include <cstdlib>
#include <set>

#include "process_ids.hpp"
#include "utc_text.hpp"

namespace desk {
namespace {

constexpr const char* kCurrent = "desk.trace";
constexpr const char* kOld = "desk.trace.old";
constexpr const char* kDropped = "desk.trace.dropped";
// Each generation: a station process traces some 1 KB, so two keep hundreds of them.
constexpr std::uintmax_t kGenerationSize = 512u << 10;
constexpr std::size_t kReadLimit = 4 * kGenerationSize;
constexpr std::size_t kFields = 8;

// One line, tab-separated; a detail never carries a tab or a line break.
std::string Format(const TraceLine& line) {
    std::string detail = line.detail;
    for (char& c : detail) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return line.time + '\t' + std::to_string(line.pid) + '\t' + std::to_string(line.thread) + '\t' +
           std::to_string(line.port) + '\t' + line.op + '\t' + std::to_string(line.result) + '\t' +
           std::to_string(line.bytes) + '\t' + detail + '\n';
}

bool ParseLong(const std::string& text, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return *end == '\0';
}

bool Parse(const std::string& text, TraceLine& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; fields.size() + 1 < kFields && (tab = text.find('\t', start)) != std::string::npos;
         start = tab + 1) {
        fields.push_back(text.substr(start, tab - start));
    }
    fields.push_back(text.substr(start));
    long port = 0, result = 0, bytes = 0;
    if (fields.size() != kFields || !ParseLong(fields[1], line.pid) || !ParseLong(fields[2], line.thread) ||
        !ParseLong(fields[3], port) || !ParseLong(fields[5], result) || !ParseLong(fields[6], bytes) || bytes < 0) {
        return false;
    }
    line.time = fields[0];
    line.port = static_cast<int>(port);
    line.op = fields[4];
    line.result = static_cast<int>(result);
    line.bytes = static_cast<unsigned>(bytes);
    line.detail = fields[7];
    return true;
}

void ReadGeneration(const Folder& folder, const char* name, Trace& trace) {
    const TextRead read = folder.Read(name, kReadLimit);
    if (read.status != FileRead::Ok) {
        if (read.status != FileRead::Missing) trace.status = read.status;
        return;
    }
    if (trace.status == FileRead::Missing) trace.status = FileRead::Ok;
    std::size_t start = 0;
    while (start < read.text.size()) {
        std::size_t end = read.text.find('\n', start);
        if (end == std::string::npos) end = read.text.size();
        TraceLine line;
        if (Parse(read.text.substr(start, end - start), line)) {
            trace.lines.push_back(line);
        } else {
            ++trace.damaged;
        }
        start = end + 1;
    }
}

// Under the desk's lock, and only when the current generation is full: it becomes the
// old one, and the old one is dropped.
void Rotate(const Folder& folder) {
    std::unique_ptr<FileLock> lock;
    std::string ignored;
    // Another process rotating, or one stopped while it holds the lock: the next append tries again.
    if (folder.LockWithin("desk.lock", 100, lock, ignored) != LockResult::Taken) return;
    const TextRead size_check = folder.Read(kCurrent, kGenerationSize);
    if (size_check.status != FileRead::WrongSize) return;  // another process rotated it first
    if (folder.HasRegularFile(kOld)) {
        const std::string when = format::UtcNow() + "\n";
        folder.Write(kDropped, reinterpret_cast<const unsigned char*>(when.data()), when.size(), true);
    }
    folder.Rename(kCurrent, kOld);
}

}  // namespace

TraceLine NewTraceLine(int port, const std::string& op) {
    TraceLine line;
    line.time = format::UtcNow();
    line.pid = ProcessId();
    line.thread = ThreadId();
    line.port = port;
    line.op = op;
    return line;
}

bool AppendTrace(const Folder& folder, const TraceLine& line) {
    std::uintmax_t size = 0;
    const bool appended = folder.Append(kCurrent, Format(line), size);
    if (appended && size > kGenerationSize) Rotate(folder);
    return appended;
}

Trace ReadTrace(const Folder& folder) {
    Trace trace;
    ReadGeneration(folder, kOld, trace);
    ReadGeneration(folder, kCurrent, trace);
    trace.dropped = folder.HasRegularFile(kDropped);
    return trace;
}

std::vector<TraceLine> PortLines(const std::vector<TraceLine>& lines, int port) {
    std::set<long> on_port, on_any_port;
    for (const TraceLine& line : lines) {
        if (line.port < 0) continue;
        on_any_port.insert(line.pid);
        if (line.port == port) on_port.insert(line.pid);
    }
    std::vector<TraceLine> kept;
    for (const TraceLine& line : lines) {
        const bool portless_here = line.port < 0 && (on_port.count(line.pid) != 0 || on_any_port.count(line.pid) == 0);
        if (line.port == port || portless_here) kept.push_back(line);
    }
    return kept;
}

bool ClearTrace(const Folder& folder) {
    bool cleared = folder.Usable();
    for (const char* name : {kCurrent, kOld, kDropped}) cleared = folder.Remove(name) != FileRemove::Failed && cleared;
    return cleared;
}

}  // namespace desk
