// The library's exports, loaded at run time from the tool's own folder, so that --help
// and usage errors work without it, and a missing DLL is one clear line, not a dialog.
#pragma once

#include <string>

#include "record_format.hpp"
#include "stagemark.h"
#include "stagemark_desk.h"

namespace tool {

using StageCall = int(STAGEMARK_CALL*)(void);

struct StageExports {
    StageCall pass, fail, status;
};

struct Exports {
    int(STAGEMARK_CALL* InitTat)(unsigned char);
    int(STAGEMARK_CALL* DetectMobile)(int);
    int(STAGEMARK_CALL* ExitTat)(unsigned char);
    unsigned char*(STAGEMARK_CALL* OpenTestHandle)(void);
    void(STAGEMARK_CALL* CloseTestHandle)(void);
    int(STAGEMARK_CALL* GetBsnStr)(char*);
    StageExports stages[format::kStageCount];  // in the stage table's order
    // Only the desk's stand-in driver has these: what is on a port, and what is wrong
    // with the desk folder, to say why a read failed.
    SimPhoneState(SIM_CALL* desk_phone_state)(int);
    size_t(SIM_CALL* desk_problem)(char*, size_t);
    long(SIM_CALL* desk_port_holder)(int);
    size_t(SIM_CALL* desk_port_problem)(int, char*, size_t);
    size_t(SIM_CALL* desk_phone_record)(int, unsigned char*, size_t);
};

// Empty on success; otherwise one line that names the file and where it belongs.
std::string LoadExports(Exports& out);

// ---- the platform's part ----

// Loads the library from the tool's folder; null with `problem` set on failure.
void* OpenLibrary(std::string& problem);
// An export of the library, or null.
void* FindExport(void* library, const char* name);
// An export of the driver or link library that the library loaded, or null.
void* FindDriverExport(void* library, const char* name);

// Which file the loaded library is, links followed, and its version.
struct LibraryIdentity {
    std::string path;     // as UTF-8 where the system's names are wide
    std::string version;  // "1.0.0"; empty when it is not known
    std::string unknown;  // when the version is not known: why ("its file name ... carries none")
};
LibraryIdentity IdentifyLibrary(void* library);

}  // namespace tool
