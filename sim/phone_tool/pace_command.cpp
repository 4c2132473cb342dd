// Pacing a port at the serial link's speed, or letting it run at the desk's.
#include <cstdio>

#include "desk_commands.hpp"
#include "desk_pace.hpp"
#include "op_names.hpp"

namespace phone_tool {

int Pace(const Arguments& args) {
    const std::string& word = args.words.front();
    const bool on = desk::SameWord(word, "on");
    if (!on && !desk::SameWord(word, "off")) return Usage("pace takes on or off, not '" + word + "'");
    const desk::Folder folder = desk::Folder::Open();
    if (!folder.Usable()) return FolderRefused(folder);
    if (!desk::SetPace(folder, args.port, on)) {
        std::fprintf(stderr, "stagemark-phone: pacing COM%d failed: the desk folder could not be written; check its "
                             "permissions\n",
                     args.port);
        return kFailure;
    }
    std::printf(on ? "COM%d paced: each record transfer takes the link's time at 115200 baud\n"
                             : "COM%d at desk speed\n",
                args.port);
    return 0;
}

}  // namespace phone_tool
