#include "port_hold.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "desk_trace.hpp"
#include "process_ids.hpp"

namespace desk {
namespace {

// The process id twice, and who holds: written in place with one write and never
// truncated, so a reader sees the old text or the new one. A read torn between them
// shows two different ids and is not believed.
constexpr std::size_t kHolderTextSize = 24;

std::string HolderText(long pid, Holder who) {
    char text[kHolderTextSize + 1];
    std::snprintf(text, sizeof text, "%010ld %010ld %c\n", pid, pid, who == Holder::Link ? 'L' : 'D');
    return text;
}

struct HolderRecord {
    long pid = 0;
    bool link = false;
};

HolderRecord ReadHolder(const Folder& folder, int port) {
    const TextRead read = folder.Read(PortFile(port, ".link"), 64);
    if (read.status != FileRead::Ok || read.text.size() != kHolderTextSize) return {};
    char* end = nullptr;
    const long first = std::strtol(read.text.c_str(), &end, 10);
    if (end != read.text.c_str() + 10 || *end != ' ') return {};
    const long second = std::strtol(end + 1, &end, 10);
    if (end != read.text.c_str() + 21 || first != second || first <= 0) return {};
    return {first, read.text[22] == 'L'};
}

long LiveHolder(const Folder& folder, int port) {
    const HolderRecord record = ReadHolder(folder, port);
    return record.pid > 0 && record.pid != ProcessId() && ProcessAlive(record.pid) ? record.pid : 0;
}

}  // namespace

HoldAttempt TakePort(const Folder& folder, int port, Holder who, int wait_ms) {
    HoldAttempt attempt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        attempt.result = folder.Lock(PortFile(port, ".link"), attempt.lock, attempt.problem);
        if (attempt.result != LockResult::Busy || std::chrono::steady_clock::now() >= deadline) break;
        if (who == Holder::Link && ReadHolder(folder, port).link) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (attempt.result == LockResult::Busy) attempt.holder = LiveHolder(folder, port);
    if (attempt.result == LockResult::Failed) {
        const FileKind kind = folder.KindOf(PortFile(port, ".link"));
        attempt.not_a_file = kind == FileKind::Link || kind == FileKind::Fifo || kind == FileKind::Folder ||
                             kind == FileKind::Other;
    }
    if (attempt.result != LockResult::Taken) return attempt;
    // A link that was let go says so; one still named here ended with its process.
    if (const HolderRecord before = ReadHolder(folder, port); before.link && before.pid != ProcessId()) {
        attempt.left_open_by = before.pid;
    }
    attempt.lock->WriteInPlace(HolderText(ProcessId(), who));
    return attempt;
}

std::string HoldFileRemedy(const HoldAttempt& attempt) {
    return attempt.not_a_file ? "remove it" : "remove it, or make the desk folder writable";
}

void ReleasePort(std::unique_ptr<FileLock>& lock) {
    if (!lock) return;
    lock->WriteInPlace(HolderText(0, Holder::Command));
    lock.reset();
}

long PortHolder(const Folder& folder, int port) {
    std::unique_ptr<FileLock> probe;
    std::string ignored;
    if (folder.Lock(PortFile(port, ".link"), probe, ignored) != LockResult::Busy) return 0;
    return LiveHolder(folder, port);
}

void NoteLeftOpen(const Folder& folder, int port, long pid) {
    TraceLine line = NewTraceLine(port, "check");
    line.pid = pid;
    line.thread = 0;
    line.detail = kLeftOpenCheck + std::to_string(port) +
                  " open: call ExitTat with the port before the program ends, on every path";
    AppendTrace(folder, line);
}

void FindLinkLeftOpen(const Folder& folder, int port) {
    if (!folder.HasRegularFile(PortFile(port, ".link"))) return;  // no link was ever here
    HoldAttempt attempt = TakePort(folder, port, Holder::Command, 0);
    if (attempt.result != LockResult::Taken) return;
    if (attempt.left_open_by != 0) NoteLeftOpen(folder, port, attempt.left_open_by);
    ReleasePort(attempt.lock);
}

std::string InUseText(int port, long holder) {
    const std::string com = "COM" + std::to_string(port);
    if (holder > 0) return com + " is in use by process " + std::to_string(holder);
    return com + " is in use by another program";
}

}  // namespace desk
