#include "station_state.hpp"

#include "port_hold.hpp"

namespace desk {
namespace {

bool g_desk_on = true;

}  // namespace

bool DeskOn() { return g_desk_on; }

void SetDeskOn(bool on) {
    g_desk_on = on;
    if (!on) {
        for (PortState& port : State().ports) {
            ReleasePort(port.hold);
            port.folder.reset();
        }
    }
}

Station& State() {
    static Station station;
    return station;
}

int CurrentPort() { return State().opened_order.empty() ? -1 : State().opened_order.back(); }

void ResetStation() {
    for (PortState& port : State().ports) ReleasePort(port.hold);
    State() = Station{};
}

}  // namespace desk
