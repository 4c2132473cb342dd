#include "library.hpp"

#include "stages.hpp"

namespace tool {
namespace {

template <class Function>
bool Resolve(void* library, const char* name, Function& out, std::string& problem) {
    out = reinterpret_cast<Function>(FindExport(library, name));
    if (out == nullptr && problem.empty()) {
        problem = "the library has no export " + std::string(name) + ": it is not stagemark's, or from another version";
    }
    return out != nullptr;
}

}  // namespace

std::string LoadExports(Exports& out) {
    std::string problem;
    void* library = OpenLibrary(problem);
    if (library == nullptr) return problem;
    Resolve(library, "InitTat", out.InitTat, problem);
    Resolve(library, "DetectMobile", out.DetectMobile, problem);
    Resolve(library, "ExitTat", out.ExitTat, problem);
    Resolve(library, "OpenTestHandle", out.OpenTestHandle, problem);
    Resolve(library, "CloseTestHandle", out.CloseTestHandle, problem);
    Resolve(library, "GetBsnStr", out.GetBsnStr, problem);
    for (const format::StageEntry& stage : format::kStages) {
        StageExports& calls = out.stages[stage.slot];
        const std::string name = stage.name;
        Resolve(library, (name + "_Pass").c_str(), calls.pass, problem);
        Resolve(library, (name + "_Fail").c_str(), calls.fail, problem);
        Resolve(library, (name + "_Status").c_str(), calls.status, problem);
    }
    out.desk_phone_state = reinterpret_cast<decltype(out.desk_phone_state)>(FindDriverExport(library, "sim_phone_state"));
    out.desk_problem = reinterpret_cast<decltype(out.desk_problem)>(FindDriverExport(library, "sim_desk_problem"));
    out.desk_port_holder =
        reinterpret_cast<decltype(out.desk_port_holder)>(FindDriverExport(library, "sim_port_holder"));
    out.desk_port_problem =
        reinterpret_cast<decltype(out.desk_port_problem)>(FindDriverExport(library, "sim_port_problem"));
    out.desk_phone_record =
        reinterpret_cast<decltype(out.desk_phone_record)>(FindDriverExport(library, "sim_phone_record"));
    return problem;
}

}  // namespace tool
