#include "desk_trace.hpp"

#include <cstdio>
#include <cstdlib>

#include "desk_folder.hpp"
#include "desk_time.hpp"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace sim {
namespace {

// Trimmed when it grows past this, to the last kTraceKept lines: 10,000 to some 20,000 kept.
constexpr std::uintmax_t kTrimAbove = kTraceKept * 100;
constexpr std::size_t kReadLimit = 16u << 20;
constexpr std::size_t kFields = 7;

std::filesystem::path TraceFile() { return DeskFile("desk.trace"); }

// One line, tab-separated; a detail never carries a tab or a line break.
std::string Format(const TraceLine& line) {
    std::string detail = line.detail;
    for (char& c : detail) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return line.time + '\t' + std::to_string(line.pid) + '\t' + std::to_string(line.port) + '\t' + line.op + '\t' +
           std::to_string(line.result) + '\t' + std::to_string(line.bytes) + '\t' + detail + '\n';
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
    if (fields.size() != kFields || !ParseLong(fields[1], line.pid) || !ParseLong(fields[2], port) ||
        !ParseLong(fields[4], result) || !ParseLong(fields[5], bytes) || bytes < 0) {
        return false;
    }
    line.time = fields[0];
    line.port = static_cast<int>(port);
    line.op = fields[3];
    line.result = static_cast<int>(result);
    line.bytes = static_cast<unsigned>(bytes);
    line.detail = fields[6];
    return true;
}

// Under the desk's lock: keeps the last kTraceKept lines.
void Trim() {
    std::error_code error;
    if (std::filesystem::file_size(TraceFile(), error) <= kTrimAbove || error) return;
    const TextRead read = ReadTextFile(TraceFile(), kReadLimit);
    if (read.status != FileRead::Ok) return;
    // The file ends with a line break: step back over the kTraceKept lines to keep.
    std::size_t newlines = 0, cut = 0;
    for (std::size_t i = read.text.size(); i-- > 0;) {
        if (read.text[i] == '\n' && ++newlines == kTraceKept + 1) {
            cut = i + 1;
            break;
        }
    }
    if (cut == 0) return;
    const std::string tail = read.text.substr(cut);
    WriteFileAtomically(TraceFile(), reinterpret_cast<const unsigned char*>(tail.data()), tail.size(), true);
}

}  // namespace

long ProcessId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

TraceLine NewTraceLine(int port, const std::string& op) {
    TraceLine line;
    line.time = UtcNow();
    line.pid = ProcessId();
    line.port = port;
    line.op = op;
    return line;
}

bool AppendTrace(const TraceLine& line) {
    const std::unique_ptr<FileLock> lock = LockDesk();
    if (!lock) return false;
    const bool appended = AppendToFile(TraceFile(), Format(line));
    Trim();
    return appended;
}

Trace ReadTrace() {
    Trace trace;
    const TextRead read = ReadTextFile(TraceFile(), kReadLimit);
    trace.status = read.status;
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
    return trace;
}

bool ClearTrace() {
    const std::unique_ptr<FileLock> lock = LockDesk();
    return lock && RemoveFile(TraceFile()) != FileRemove::Failed;
}

}  // namespace sim
