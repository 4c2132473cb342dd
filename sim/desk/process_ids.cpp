#include "process_ids.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/syscall.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace desk {

#ifdef _WIN32
long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }
long ThreadId() { return static_cast<long>(GetCurrentThreadId()); }

bool ProcessAlive(long pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}
#else
long ProcessId() { return static_cast<long>(getpid()); }
long ThreadId() {
    thread_local const long id = static_cast<long>(syscall(SYS_gettid));  // asked once per thread
    return id;
}
bool ProcessAlive(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }
#endif

}  // namespace desk
