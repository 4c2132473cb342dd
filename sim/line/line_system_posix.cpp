#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "line_system.hpp"

extern char** environ;

namespace line {
namespace {

bool IsProgram(const std::filesystem::path& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::filesystem::path> FindProgram(const std::string& word) {
    if (word.empty()) return std::nullopt;
    if (word.find('/') != std::string::npos) {
        std::error_code ignored;
        const std::filesystem::path path = std::filesystem::absolute(word, ignored);
        return IsProgram(path) ? std::optional(path) : std::nullopt;
    }
    const char* search = std::getenv("PATH");
    const std::string folders = search != nullptr ? search : "";
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        // An empty entry is the current folder, as the shell takes it.
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        std::error_code ignored;
        const std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(folder) / word, ignored);
        if (IsProgram(path)) return path;
        start = end + 1;
    }
    return std::nullopt;
}

StationRun RunStation(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                      int limit_seconds) {
    StationRun run;
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    // A group of its own, so that the station's children end with it: a child left holding
    // the port would stop the next phone.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.problem = std::strerror(spawned);
        return run;
    }
    run.started = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
    for (;;) {
        // Seen ended but not yet reaped: the group keeps its number while its children are killed.
        siginfo_t ended{};
        const int seen = waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT);
        if (seen == 0 && ended.si_pid == pid) break;
        if (seen < 0 && errno != EINTR) {
            run.problem = std::strerror(errno);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            run.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // What the station left running ends with it, before the next phone.
    kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (run.timed_out) return run;
    if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    } else {
        run.exit_code = WEXITSTATUS(status);
    }
    return run;
}

std::string ReadPlainFile(const std::filesystem::path& path, std::size_t limit, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    struct stat status {};
    std::string problem;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = "it is not a regular file";
    } else if (static_cast<std::size_t>(status.st_size) > limit) {
        problem = "it is larger than " + std::to_string(limit) + " bytes";
    } else {
        text.resize(static_cast<std::size_t>(status.st_size));
        std::size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        text.resize(got);
    }
    close(fd);
    return problem;
}

}  // namespace line
