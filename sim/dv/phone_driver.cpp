// Stand-in phone driver: detection and record 1000 over an open link.
#include <cstring>
#include <optional>
#include <vector>

#include "stagemark_sim.h"
#define DRIVER_API SIM_EXPORT
#include "desk_folder.hpp"
#include "no_throw.hpp"
#include "phone_driver.h"
#include "phone_file.hpp"
#include "phone_record.hpp"
#include "write_checks.hpp"
#include "desk_pace.hpp"

namespace {

constexpr int kFailure = -1;
constexpr int kRecordId = 1000;

struct Driver {
    // Aligned as a driver's own buffer is, so a copy out of it costs what it would on a station.
    alignas(64) sim::Record memory_phone{};
    bool has_memory_phone = false;
    // The record this process last read on the link, which the desk's write checks go by.
    sim::Record last_read{};
    bool has_last_read = false;
    bool phones_in_files = true;  // a station process meets the phone a desk user put on the port
    // The bytes of the last read: the driver's own, valid until the next read.
    std::vector<unsigned char> read_buffer;
    bool read_scripted = false;
    bool script_has_bytes = false;
    std::vector<unsigned char> script_bytes;
    unsigned short script_length = 0;
};

Driver& State() {
    static Driver driver;
    return driver;
}

bool LinkOpen() { return sim_link_current_port() >= 0; }

// Points at the phone's record; false when there is no phone. A phone in memory is
// handed out where it lies, as a driver hands out its own buffer, so long runs measure
// the library rather than the stand-in; a phone in a file is read into the read buffer.
bool LocatePhone(unsigned char** data) {
    Driver& driver = State();
    if (!driver.phones_in_files) {
        if (!driver.has_memory_phone) return false;
        *data = driver.memory_phone.data();
        return true;
    }
    const sim::LoadedPhone phone = sim::LoadPhoneFile(sim::PhoneFile(sim_link_current_port()));
    if (phone.state != SIM_PHONE_PRESENT) return false;
    driver.read_buffer.assign(phone.record.begin(), phone.record.end());
    *data = driver.read_buffer.data();
    return true;
}

// A phone in a file is written as the link would: at the link's pace when the desk asks,
// and checked for the mistakes that write wrong data onto phones.
bool SavePhone(const unsigned char* data) {
    if (!State().phones_in_files) {
        if (!State().has_memory_phone) return false;
        std::memcpy(State().memory_phone.data(), data, SIM_RECORD_SIZE);
        return true;
    }
    const int port = sim_link_current_port();
    sim::PaceTransfer(port, SIM_RECORD_SIZE);
    const sim::LoadedPhone current = sim::LoadPhoneFile(sim::PhoneFile(port));
    if (current.state != SIM_PHONE_PRESENT) return false;
    sim::CheckWrite(port, current.record, data, State().has_last_read ? State().last_read.data() : nullptr);
    sim::Record record;
    std::memcpy(record.data(), data, record.size());
    return sim::SavePhoneFile(sim::PhoneFile(port), record);
}

// Detection finds a phone only where a readable record is.
bool PhonePresent() {
    unsigned char* ignored = nullptr;
    return LocatePhone(&ignored);
}

SimCall NewCall(SimOp op) {
    SimCall call{};
    call.op = op;
    return call;
}

int Finish(SimCall& call, int result, const unsigned char* bytes = nullptr, std::size_t count = 0) {
    call.result = result;
    sim_log_call(&call, bytes, count);
    return result;
}

// A record operation with no open link: the driver refuses it, and the desk says why.
int NoLink(SimCall& call, const char* what, const unsigned char* bytes = nullptr, std::size_t count = 0) {
    const std::string note = std::string(what) + " with no open link: call InitTat with the phone's port first";
    sim_desk_note(-1, note.c_str());
    return Finish(call, kFailure, bytes, count);
}

// Hands out a read: the scripted answer if one is pending, else the phone's record.
int HandOut(unsigned char** data, unsigned short* length) {
    Driver& driver = State();
    if (driver.read_scripted) {
        driver.read_scripted = false;
        // A buffer of exactly the scripted length, so reading past it is caught.
        driver.read_buffer = std::vector<unsigned char>(driver.script_bytes);
        *data = driver.script_has_bytes ? driver.read_buffer.data() : nullptr;
        *length = driver.script_length;
        return 0;
    }
    if (!LocatePhone(data)) return kFailure;
    if (driver.phones_in_files) {
        sim::PaceTransfer(sim_link_current_port(), SIM_RECORD_SIZE);
        std::memcpy(driver.last_read.data(), *data, SIM_RECORD_SIZE);
        driver.has_last_read = true;
    }
    *length = SIM_RECORD_SIZE;
    return 0;
}

// A failing read that still sets both outputs to a whole record, as a real driver may:
// the library must go by the result alone. The phone's record if there is one.
void HandOutDespiteFailure(unsigned char** data, unsigned short* length) {
    if (!LocatePhone(data)) {
        sim::Record fresh;
        sim::NewPhoneRecord("0000000000", fresh);
        State().read_buffer.assign(fresh.begin(), fresh.end());
        *data = State().read_buffer.data();
    }
    *length = SIM_RECORD_SIZE;
}

}  // namespace

extern "C" {

int DRIVER_CALL _dv0_25InitTatVar(void) {
    return sim::NoThrow(kFailure, [&] {
        SimCall call = NewCall(SIM_INIT_TAT_VAR);
        if (const int fault = sim_take_fault(SIM_INIT_TAT_VAR)) return Finish(call, fault);
        State().read_buffer.clear();  // the driver forgets the last read with the old link
        State().has_last_read = false;
        return Finish(call, 0);
    });
}

int DRIVER_CALL _dv10_00BackgroundLoop(int value, void* area4a, void* area4b, void* area4c, void* area8, void* area16,
                                       void* area4d) {
    return sim::NoThrow(kFailure, [&] {
        SimCall call = NewCall(SIM_BACKGROUND_LOOP);
        call.args[0] = value;
        if (const int fault = sim_take_fault(SIM_BACKGROUND_LOOP)) return Finish(call, fault);
        void* const areas[] = {area4a, area4b, area4c, area8, area16, area4d};
        const std::size_t sizes[] = {4, 4, 4, 8, 16, 4};
        for (void* area : areas) {
            if (area == nullptr) return Finish(call, kFailure);
        }
        if (!LinkOpen()) return NoLink(call, "phone detection");
        if (!PhonePresent()) return Finish(call, kFailure);
        // The loop reports what it found about the phone; fill every byte it owns.
        for (std::size_t i = 0; i < std::size(areas); ++i) std::memset(areas[i], static_cast<int>(0xA0 + i), sizes[i]);
        return Finish(call, 0);
    });
}

int DRIVER_CALL _dva26_00ReadVirginParameterFromDataFlash(int record_id, unsigned char** data, unsigned short* length) {
    return sim::NoThrow(kFailure, [&] {
        SimCall call = NewCall(SIM_READ_RECORD);
        call.args[0] = record_id;
        if (const int fault = sim_take_fault(SIM_READ_RECORD)) {
            if (data != nullptr && length != nullptr) HandOutDespiteFailure(data, length);
            return Finish(call, fault);
        }
        if (record_id != kRecordId || data == nullptr || length == nullptr) return Finish(call, kFailure);
        if (!LinkOpen()) return NoLink(call, "a record read");
        const int result = HandOut(data, length);
        if (result == 0) call.length = *length;
        return Finish(call, result);
    });
}

int DRIVER_CALL _dva26_01WriteVirginParameterToDataFlash(int record_id, unsigned char* data, unsigned short length) {
    return sim::NoThrow(kFailure, [&] {
        SimCall call = NewCall(SIM_WRITE_RECORD);
        call.args[0] = record_id;
        call.length = length;
        if (data == nullptr) return Finish(call, kFailure);
        if (const int fault = sim_take_fault(SIM_WRITE_RECORD)) return Finish(call, fault, data, length);
        if (!LinkOpen()) return NoLink(call, "a record write", data, length);
        if (record_id != kRecordId || length != SIM_RECORD_SIZE) return Finish(call, kFailure, data, length);
        return Finish(call, SavePhone(data) ? 0 : kFailure, data, length);
    });
}

void SIM_CALL sim_reset(void) {
    sim_link_reset();
    State() = Driver{};
    State().phones_in_files = false;
    sim::NewPhoneRecord("3579024680", State().memory_phone);
    State().has_memory_phone = true;
}

void SIM_CALL sim_set_record(const unsigned char record[SIM_RECORD_SIZE]) {
    State().phones_in_files = false;
    std::memcpy(State().memory_phone.data(), record, SIM_RECORD_SIZE);
    State().has_memory_phone = true;
}

int SIM_CALL sim_get_record(unsigned char record[SIM_RECORD_SIZE]) {
    return sim::NoThrow(0, [&] {
        Driver& driver = State();
        if (!driver.phones_in_files) {
            if (!driver.has_memory_phone) return 0;
            std::memcpy(record, driver.memory_phone.data(), SIM_RECORD_SIZE);
            return 1;
        }
        const int port = sim_link_current_port();
        const sim::LoadedPhone phone = sim::LoadPhoneFile(sim::PhoneFile(port < 0 ? 0 : port));
        if (phone.state != SIM_PHONE_PRESENT) return 0;
        std::memcpy(record, phone.record.data(), SIM_RECORD_SIZE);
        return 1;
    });
}

int SIM_CALL sim_new_record(const char* bsn, unsigned char record[SIM_RECORD_SIZE]) {
    sim::Record built;
    if (bsn == nullptr || !sim::NewPhoneRecord(bsn, built)) return 0;
    std::memcpy(record, built.data(), built.size());
    return 1;
}

void SIM_CALL sim_script_read(const unsigned char* bytes, unsigned short length) {
    sim::NoThrow(false, [&] {
        Driver& driver = State();
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

void SIM_CALL sim_use_phone_files(void) {
    sim_link_use_desk(1);
    State().phones_in_files = true;
    State().has_memory_phone = false;
}

SimDeskResult SIM_CALL sim_insert_phone(int port, const char* bsn) {
    return sim::NoThrow(SIM_DESK_FAILED, [&] {
        sim::Record record;
        if (port < 0 || port > 255 || bsn == nullptr || !sim::NewPhoneRecord(bsn, record)) return SIM_DESK_FAILED;
        switch (sim::CreatePhoneFile(sim::PhoneFile(port), record)) {
            case sim::FileWrite::Ok: return SIM_DESK_DONE;
            case sim::FileWrite::Exists: return SIM_DESK_PHONE_THERE;
            case sim::FileWrite::Failed: break;
        }
        return SIM_DESK_FAILED;
    });
}

SimDeskResult SIM_CALL sim_set_stages(int port, const signed char states[8]) {
    return sim::NoThrow(SIM_DESK_FAILED, [&] {
        if (port < 0 || port > 255 || states == nullptr) return SIM_DESK_FAILED;
        sim::LoadedPhone phone = sim::LoadPhoneFile(sim::PhoneFile(port));
        if (phone.state == SIM_PHONE_DESK_REFUSED) return SIM_DESK_FAILED;
        if (phone.state != SIM_PHONE_PRESENT) return SIM_DESK_NO_PHONE;
        if (!sim::SetStages(phone.record, states, sim::SecondsNow())) return SIM_DESK_FAILED;
        return sim::SavePhoneFile(sim::PhoneFile(port), phone.record) ? SIM_DESK_DONE : SIM_DESK_FAILED;
    });
}

SimDeskResult SIM_CALL sim_remove_phone(int port) {
    return sim::NoThrow(SIM_DESK_FAILED, [&] {
        if (port < 0 || port > 255) return SIM_DESK_FAILED;
        switch (sim::RemoveFile(sim::PhoneFile(port))) {
            case sim::FileRemove::Removed: return SIM_DESK_DONE;
            case sim::FileRemove::Missing: return SIM_DESK_NO_PHONE;
            case sim::FileRemove::Failed: break;
        }
        return SIM_DESK_FAILED;
    });
}

SimPhoneState SIM_CALL sim_phone_state(int port) {
    return sim::NoThrow(SIM_PHONE_UNREADABLE, [&] {
        if (port < 0 || port > 255) return SIM_PHONE_NONE;
        return sim::LoadPhoneFile(sim::PhoneFile(port)).state;
    });
}

size_t SIM_CALL sim_desk_problem(char* out, size_t capacity) {
    return sim::NoThrow(size_t{0}, [&] {
        const std::string problem = sim::PrepareDeskFolder();
        if (problem.empty() || out == nullptr || problem.size() + 1 > capacity) return size_t{0};
        std::memcpy(out, problem.c_str(), problem.size() + 1);
        return problem.size();
    });
}

size_t SIM_CALL sim_phone_path(int port, char* out, size_t capacity) {
    return sim::NoThrow(size_t{0}, [&] {
        const std::string path = sim::PathText(sim::PhoneFile(port));
        if (out == nullptr || path.size() + 1 > capacity) return size_t{0};
        std::memcpy(out, path.c_str(), path.size() + 1);
        return path.size();
    });
}

}  // extern "C"
