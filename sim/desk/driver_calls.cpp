// The phone driver's four operations as the desk takes them: detection and record 1000
// over an open link, with the phone kept in memory for tests or in a desk file.
#include <algorithm>
#include <cstring>
#include <vector>

#include "desk_call.hpp"
#include "desk_pace.hpp"
#include "link_calls.hpp"
#include "no_throw.hpp"
#include "phone_file.hpp"
#include "port_hold.hpp"
#include "record_text.hpp"
#include "sim_driver.h"
#include "stagemark_sim.h"
#include "station_state.hpp"
#include "write_checks.hpp"

namespace desk {
namespace {

constexpr int kRecordId = 1000;
constexpr unsigned kRecordBytes = format::kRecordSize;

struct Driver {
    // Aligned as a driver's own buffer is, so a copy out of it costs what it would on a station.
    alignas(64) format::Record memory_phone{};
    bool has_memory_phone = false;
    // The record this process last read on the link, which the desk's write checks go by.
    format::Record last_read{};
    bool has_last_read = false;
    // The bytes of the last read: the driver's own, valid until the next read.
    std::vector<unsigned char> read_buffer;
    bool read_scripted = false;
    bool script_has_bytes = false;
    std::vector<unsigned char> script_bytes;
    unsigned short script_length = 0;
};

Driver& Phone() {
    static Driver driver;
    return driver;
}

bool LinkOpen() { return CurrentPort() >= 0; }

// A record operation with no open link: the driver refuses it, and the desk says why.
int NoLink(DeskCall& call, const char* what, const unsigned char* bytes = nullptr, std::size_t count = 0) {
    call.Note(-1, std::string(what) + " with no open link: call InitTat with the phone's port first");
    return call.Finish(kFailure, bytes, count);
}

// Points at the phone's record; false when there is no phone. A phone in memory is
// handed out where it lies, as a driver hands out its own buffer, so long runs measure
// the library rather than the stand-in; a phone in a file is read into the read buffer.
bool LocatePhone(DeskCall& call, unsigned char** data, bool remember) {
    Driver& driver = Phone();
    const Folder* folder = call.folder();
    if (folder == nullptr) {
        if (!driver.has_memory_phone) return false;
        *data = driver.memory_phone.data();
        return true;
    }
    const int port = CurrentPort();
    const SeenPhone phone = LoadPhone(*folder, port);
    if (phone.state != SIM_PHONE_PRESENT) return false;
    driver.read_buffer.assign(phone.record.begin(), phone.record.end());
    *data = driver.read_buffer.data();
    if (remember) {
        Port(port).seen = phone;
        Port(port).has_seen = true;
        driver.last_read = phone.record;
        driver.has_last_read = true;
    }
    return true;
}

// Hands out a read: the scripted answer if one is pending, else the phone's record.
int HandOut(DeskCall& call, unsigned char** data, unsigned short* length) {
    Driver& driver = Phone();
    if (driver.read_scripted) {
        driver.read_scripted = false;
        // A buffer of exactly the scripted length, so reading past it is caught.
        driver.read_buffer = std::vector<unsigned char>(driver.script_bytes);
        *data = driver.script_has_bytes ? driver.read_buffer.data() : nullptr;
        *length = driver.script_length;
        return 0;
    }
    if (call.folder() != nullptr) PaceTransfer(*call.folder(), CurrentPort(), kRecordBytes);
    if (!LocatePhone(call, data, true)) return kFailure;
    *length = kRecordBytes;
    return 0;
}

// A failing read that still sets both outputs to a whole record, as a real driver may:
// the library must go by the result alone. The phone's record if there is one.
void HandOutDespiteFailure(DeskCall& call, unsigned char** data, unsigned short* length) {
    if (!LocatePhone(call, data, false)) {
        format::Record fresh;
        format::NewPhoneRecord("0000000000", fresh);
        Phone().read_buffer.assign(fresh.begin(), fresh.end());
        *data = Phone().read_buffer.data();
    }
    *length = kRecordBytes;
}

// A phone in a desk file is written as the link would: at the link's pace when the desk
// asks, under the port's hold, only over the file this process saw, and checked for the
// mistakes that write wrong data onto phones.
bool SaveOnDesk(DeskCall& call, const Folder& folder, const unsigned char* data) {
    const int port = CurrentPort();
    PortState& state = Port(port);
    PaceTransfer(folder, port, kRecordBytes);
    if (!state.hold) {
        call.Note(port, "a record write on COM" + std::to_string(port) +
                            " was refused: its link was opened while the desk folder could not be used, so it does "
                            "not hold the port; call ExitTat, then InitTat again");
        return false;
    }
    const SeenPhone current = LoadPhone(folder, port);
    if (current.state != SIM_PHONE_PRESENT) return false;
    if (!state.has_seen) state.seen = current;  // no read on this link: the phone as it stands, held since
    const std::string check = WriteCheck(current.record, data, Phone().has_last_read ? &Phone().last_read : nullptr);
    if (!check.empty()) call.Note(port, check);
    format::Record record;
    std::memcpy(record.data(), data, record.size());
    switch (ChangePhone(folder, port, state.seen, &record)) {
        case PhoneChange::Done: state.has_seen = true; return true;
        case PhoneChange::Failed:
            call.Note(port, "a record write on COM" + std::to_string(port) + " failed: the phone file " +
                                folder.PathOf(PortFile(port, ".phone")) + " could not be written (" +
                                folder.LastFailure() + "); free space on the desk's disk, or make its folder "
                                                       "writable");
            return false;
        case PhoneChange::ChangedSinceSeen:
            call.Note(port, "a record write on COM" + std::to_string(port) +
                                " was refused: the phone file changed since this process read it, by something "
                                "that does not hold the port; read the record again before recording");
            return false;
        default: return false;
    }
}

bool Save(DeskCall& call, const unsigned char* data) {
    if (call.folder() != nullptr) return SaveOnDesk(call, *call.folder(), data);
    if (!Phone().has_memory_phone) return false;
    std::memcpy(Phone().memory_phone.data(), data, kRecordBytes);
    return true;
}

}  // namespace
}  // namespace desk

using desk::DeskCall;
using desk::kFailure;

extern "C" {

int SIM_CALL sim_driver_init(void) {
    return desk::NoThrow(kFailure, [&] {
        DeskCall call(SIM_INIT_TAT_VAR, desk::CurrentPort());
        if (const int fault = call.Fault()) return call.Finish(fault);
        if (!desk::OnLinkThread(call, "the driver's initialisation")) return call.Finish(kFailure);
        desk::Phone().read_buffer.clear();  // the driver forgets the last read with the old link
        desk::Phone().has_last_read = false;
        return call.Finish(0);
    });
}

int SIM_CALL sim_driver_detect(int value, void* const areas[6], const unsigned sizes[6], int areas_given) {
    return desk::NoThrow(kFailure, [&] {
        DeskCall call(SIM_BACKGROUND_LOOP, desk::CurrentPort());
        call.call().args[0] = value;
        if (const int fault = call.Fault()) return call.Finish(fault);
        if (!areas_given) return call.Finish(kFailure);
        if (!desk::LinkOpen()) return desk::NoLink(call, "phone detection");
        if (!desk::OnLinkThread(call, "phone detection")) return call.Finish(kFailure);
        unsigned char* ignored = nullptr;
        if (!desk::LocatePhone(call, &ignored, false)) return call.Finish(kFailure);
        // The loop reports what it found about the phone; fill every byte it owns.
        for (std::size_t i = 0; i < 6; ++i) std::memset(areas[i], static_cast<int>(0xA0 + i), sizes[i]);
        return call.Finish(0);
    });
}

int SIM_CALL sim_driver_read(int record_id, unsigned char** data, unsigned short* length) {
    return desk::NoThrow(kFailure, [&] {
        DeskCall call(SIM_READ_RECORD, desk::CurrentPort());
        call.call().args[0] = record_id;
        if (const int fault = call.Fault()) {
            if (data != nullptr && length != nullptr) desk::HandOutDespiteFailure(call, data, length);
            return call.Finish(fault);
        }
        if (record_id != desk::kRecordId || data == nullptr || length == nullptr) return call.Finish(kFailure);
        if (!desk::LinkOpen()) return desk::NoLink(call, "a record read");
        if (!desk::OnLinkThread(call, "a record read")) return call.Finish(kFailure);
        const int result = desk::HandOut(call, data, length);
        if (result == 0) call.call().length = *length;
        return call.Finish(result, nullptr, 0, call.folder() != nullptr ? call.call().length : 0);
    });
}

int SIM_CALL sim_driver_write(int record_id, const unsigned char* data, unsigned short length) {
    return desk::NoThrow(kFailure, [&] {
        DeskCall call(SIM_WRITE_RECORD, desk::CurrentPort());
        call.call().args[0] = record_id;
        call.call().length = length;
        if (data == nullptr) return call.Finish(kFailure);
        if (const int fault = call.Fault()) return call.Finish(fault, data, length);
        if (!desk::LinkOpen()) return desk::NoLink(call, "a record write", data, length);
        if (!desk::OnLinkThread(call, "a record write")) return call.Finish(kFailure, data, length);
        if (record_id != desk::kRecordId || length != desk::kRecordBytes) return call.Finish(kFailure, data, length);
        const bool saved = desk::Save(call, data);
        return call.Finish(saved ? 0 : kFailure, data, length, call.folder() != nullptr ? length : 0u);
    });
}

void SIM_CALL sim_reset(void) {
    sim_link_reset();
    desk::Phone() = desk::Driver{};
    format::NewPhoneRecord("3579024680", desk::Phone().memory_phone);
    desk::Phone().has_memory_phone = true;
}

void SIM_CALL sim_set_record(const unsigned char record[SIM_RECORD_SIZE]) {
    desk::SetDeskOn(false);
    std::memcpy(desk::Phone().memory_phone.data(), record, SIM_RECORD_SIZE);
    desk::Phone().has_memory_phone = true;
}

int SIM_CALL sim_get_record(unsigned char record[SIM_RECORD_SIZE]) {
    return desk::NoThrow(0, [&] {
        if (!desk::DeskOn()) {
            if (!desk::Phone().has_memory_phone) return 0;
            std::memcpy(record, desk::Phone().memory_phone.data(), SIM_RECORD_SIZE);
            return 1;
        }
        const int port = desk::CurrentPort() >= 0 ? desk::CurrentPort() : std::max(desk::State().last_port, 0);
        const desk::SeenPhone phone = desk::LoadPhone(desk::Folder::Open(), port);
        if (phone.state != SIM_PHONE_PRESENT) return 0;
        std::memcpy(record, phone.record.data(), SIM_RECORD_SIZE);
        return 1;
    });
}

int SIM_CALL sim_new_record(const char* bsn, unsigned char record[SIM_RECORD_SIZE]) {
    format::Record built;
    if (bsn == nullptr || !format::NewPhoneRecord(bsn, built)) return 0;
    std::memcpy(record, built.data(), built.size());
    return 1;
}

void SIM_CALL sim_script_read(const unsigned char* bytes, unsigned short length) {
    desk::NoThrow(false, [&] {
        desk::Driver& driver = desk::Phone();
        driver.read_scripted = true;
        driver.script_has_bytes = bytes != nullptr;
        driver.script_length = length;
        if (bytes != nullptr) {
            driver.script_bytes.assign(bytes, bytes + length);
        } else {
            driver.script_bytes.clear();
        }
        return true;
    });
}

}  // extern "C"
