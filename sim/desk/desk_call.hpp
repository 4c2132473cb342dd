// One call of a station program into the stand-ins: the desk folder is opened and checked
// once for it (when the desk is on), or, while a link is open, the folder its link opened
// and holds the port in is used, whatever now has that folder's name. Planned faults are
// met, and the call is logged and traced when it ends.
#pragma once

#include <memory>
#include <string>

#include "desk_folder.hpp"
#include "stagemark_sim.h"

namespace desk {

class DeskCall {
  public:
    DeskCall(SimOp op, int port);

    SimCall& call() { return call_; }
    int port() const { return port_; }
    void set_port(int port) { port_ = port; }
    // The open desk folder, or null when the desk is off.
    const Folder* folder() const { return folder_.get(); }
    // The folder, to be kept by the link this call opens.
    const std::shared_ptr<const Folder>& shared_folder() const { return folder_; }

    // A fault planned for this call, in this process first, then on the desk: its result, or 0.
    int Fault();
    // Adds a check to the trace: a station program's mistake and what to do.
    void Note(int port, const std::string& text) const;
    // Logs and traces the call with its result, and returns the result.
    int Finish(int result, const unsigned char* bytes = nullptr, std::size_t count = 0, unsigned traced_bytes = 0);

  private:
    SimCall call_{};
    int port_;
    std::shared_ptr<const Folder> folder_;
};

// What a call that meets a fault planned on the desk returns, and any failing call.
inline constexpr int kFailure = -1;

}  // namespace desk
