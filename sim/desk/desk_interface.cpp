// The desk's C interface for station tools, and the tests' way to put a phone on the desk.
#include <cstring>
#include <string>

#include "no_throw.hpp"
#include "phone_commands.hpp"
#include "phone_file.hpp"
#include "port_hold.hpp"
#include "process_ids.hpp"
#include "stagemark_desk.h"
#include "stagemark_sim.h"
#include "station_state.hpp"

namespace {

size_t CopyOut(const std::string& text, char* out, size_t capacity) {
    if (text.empty() || out == nullptr || text.size() + 1 > capacity) return 0;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return text.size();
}

}  // namespace

extern "C" {

SimPhoneState SIM_CALL sim_phone_state(int port) {
    return desk::NoThrow(SIM_PHONE_UNREADABLE, [&] {
        if (!desk::ValidPort(port)) return SIM_PHONE_NONE;
        return desk::LoadPhone(desk::Folder::Open(), port).state;
    });
}

size_t SIM_CALL sim_desk_problem(char* out, size_t capacity) {
    return desk::NoThrow(size_t{0}, [&] { return CopyOut(desk::Folder::Open().Problem(), out, capacity); });
}

long SIM_CALL sim_port_holder(int port) {
    return desk::NoThrow(0L, [&] {
        if (!desk::ValidPort(port)) return 0L;
        if (desk::Port(port).hold) return desk::ProcessId();
        const desk::Folder folder = desk::Folder::Open();
        return folder.Usable() ? desk::PortHolder(folder, port) : 0L;
    });
}

size_t SIM_CALL sim_port_problem(int port, char* out, size_t capacity) {
    return desk::NoThrow(size_t{0}, [&] {
        return desk::ValidPort(port) ? CopyOut(desk::Port(port).open_problem, out, capacity) : size_t{0};
    });
}

size_t SIM_CALL sim_phone_path(int port, char* out, size_t capacity) {
    return desk::NoThrow(size_t{0}, [&] {
        return CopyOut(desk::PathText(desk::DeskPath() / desk::PortFile(port, ".phone")), out, capacity);
    });
}

size_t SIM_CALL sim_phone_record(int port, unsigned char* out, size_t capacity) {
    return desk::NoThrow(size_t{0}, [&] {
        if (!desk::ValidPort(port) || out == nullptr || capacity < format::kRecordSize) return size_t{0};
        const std::shared_ptr<const desk::Folder>& linked = desk::Port(port).folder;
        const desk::SeenPhone seen = linked ? desk::LoadPhone(*linked, port) : desk::LoadPhone(desk::Folder::Open(), port);
        if (seen.state != SIM_PHONE_PRESENT) return size_t{0};
        std::memcpy(out, seen.record.data(), seen.record.size());
        return seen.record.size();
    });
}

int SIM_CALL sim_desk_put_record(int port, const unsigned char record[SIM_RECORD_SIZE]) {
    return desk::NoThrow(0, [&] {
        if (record == nullptr) return 0;
        format::Record phone;
        std::memcpy(phone.data(), record, phone.size());
        const desk::Folder folder = desk::Folder::Open();
        if (!desk::ValidPort(port) || !desk::Port(port).hold) {
            return desk::PutPhone(folder, port, phone).result == desk::CommandResult::Done ? 1 : 0;
        }
        // The test is the station that holds the port: the phone changes under its own hold,
        // and its link then goes by the phone as it now stands.
        desk::SeenPhone seen = desk::LoadPhone(folder, port);
        desk::Port(port).has_seen = false;
        return desk::ChangePhone(folder, port, seen, &phone) == desk::PhoneChange::Done ? 1 : 0;
    });
}

}  // extern "C"
