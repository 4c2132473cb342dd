#include <windows.h>

#include <cwchar>

#include "line_system.hpp"

namespace line {
namespace {

bool IsProgram(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The path, or the path with .exe, where a program is.
std::optional<std::filesystem::path> ProgramAt(const std::filesystem::path& path) {
    std::error_code ignored;
    const std::filesystem::path full = std::filesystem::absolute(path, ignored);
    if (IsProgram(full)) return full;
    std::filesystem::path with_exe = full;
    with_exe += L".exe";
    return IsProgram(with_exe) ? std::optional(with_exe) : std::nullopt;
}

// One word of a command line as the C runtime splits it again: quoted when it has a blank
// or a quote, each quote and the backslashes before it escaped.
void AppendQuoted(std::wstring& line, const std::wstring& word) {
    if (!line.empty()) line += L' ';
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) {
        line += word;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::string ErrorText(DWORD error) { return "Windows error " + std::to_string(error); }

}  // namespace

std::optional<std::filesystem::path> FindProgram(const std::string& word) {
    if (word.empty()) return std::nullopt;
    const std::filesystem::path name = std::filesystem::u8path(word);
    if (word.find_first_of("/\\") != std::string::npos) return ProgramAt(name);
    const wchar_t* search = _wgetenv(L"PATH");
    const std::wstring folders = search != nullptr ? search : L"";
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(L';', start);
        if (end == std::wstring::npos) end = folders.size();
        if (end > start) {
            if (auto found = ProgramAt(std::filesystem::path(folders.substr(start, end - start)) / name)) return found;
        }
        start = end + 1;
    }
    return std::nullopt;
}

StationRun RunStation(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                      int limit_seconds) {
    StationRun run;
    std::wstring line;
    AppendQuoted(line, program.wstring());
    for (const std::string& argument : arguments) AppendQuoted(line, std::filesystem::u8path(argument).wstring());
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherited, OPEN_EXISTING, 0, nullptr);
    if (null_device == INVALID_HANDLE_VALUE) {
        run.problem = "the null device cannot be opened (" + ErrorText(GetLastError()) + ")";
        return run;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = null_device;
    // A job of its own, so that the station's children end with it: a child left holding the
    // port would stop the next phone. Started suspended, so no child is made outside the job.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) {
        run.problem = "no job object for the station (" + ErrorText(GetLastError()) + ")";
        CloseHandle(null_device);
        return run;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    PROCESS_INFORMATION process{};
    const BOOL created = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                                        nullptr, nullptr, &startup, &process);
    const DWORD create_error = GetLastError();
    CloseHandle(null_device);
    if (!created) {
        CloseHandle(job);
        run.problem = ErrorText(create_error);
        return run;
    }
    if (!AssignProcessToJobObject(job, process.hProcess)) {
        run.problem = "the station could not be put in a job (" + ErrorText(GetLastError()) + ")";
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        CloseHandle(job);
        return run;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    run.started = true;
    const DWORD limit_ms = static_cast<DWORD>(limit_seconds) * 1000u;
    if (WaitForSingleObject(process.hProcess, limit_ms) == WAIT_TIMEOUT) {
        TerminateJobObject(job, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        run.timed_out = true;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        run.exit_code = static_cast<int>(code);
    }
    // What the station left running ends with it, before the next phone.
    TerminateJobObject(job, 1);
    CloseHandle(job);
    CloseHandle(process.hProcess);
    return run;
}

std::string ReadPlainFile(const std::filesystem::path& path, std::size_t limit, std::string& text) {
    // Overlapped, so that a pipe at the name never holds the read; only a disk file is read.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ErrorText(GetLastError());
    std::string problem;
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        problem = "it is not a regular file";
    } else if (static_cast<unsigned long long>(size.QuadPart) > limit) {
        problem = "it is larger than " + std::to_string(limit) + " bytes";
    } else {
        text.resize(static_cast<std::size_t>(size.QuadPart));
        OVERLAPPED start{};
        start.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD got = 0;
        const bool read = !text.empty() && start.hEvent != nullptr &&
                          (ReadFile(file, text.data(), static_cast<DWORD>(text.size()), nullptr, &start) ||
                           GetLastError() == ERROR_IO_PENDING) &&
                          GetOverlappedResult(file, &start, &got, TRUE);
        if (start.hEvent != nullptr) CloseHandle(start.hEvent);
        if (!text.empty() && !read) problem = ErrorText(GetLastError());
        text.resize(got);
    }
    CloseHandle(file);
    return problem;
}

}  // namespace line
