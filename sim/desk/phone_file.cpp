#include "phone_file.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

namespace desk {
namespace {

constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kFileSize = format::kRecordSize + kCrcSize;

std::uint32_t Crc32(const unsigned char* bytes, std::size_t count) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string PhoneName(int port) { return PortFile(port, ".phone"); }

bool SameAsSeen(const SeenPhone& now, const SeenPhone& seen) {
    if (now.state != seen.state) return false;
    // A damaged or unreadable file has no record to go by: the one seen is still there.
    if (now.state != SIM_PHONE_PRESENT) return true;
    return now.id == seen.id && now.record == seen.record;
}

}  // namespace

SeenPhone LoadPhone(const Folder& folder, int port) {
    if (!folder.Usable()) return {SIM_PHONE_DESK_REFUSED, {}, {}};
    FileId id;
    const TextRead read = folder.Read(PhoneName(port), kFileSize, &id);
    switch (read.status) {
        case FileRead::Ok: break;
        case FileRead::Missing: return {SIM_PHONE_NONE, {}, {}};
        case FileRead::WrongSize: return {SIM_PHONE_DAMAGED, {}, {}};
        case FileRead::NotRegular:
        case FileRead::Unreadable: return {SIM_PHONE_UNREADABLE, {}, {}};
    }
    if (read.text.size() != kFileSize) return {SIM_PHONE_DAMAGED, {}, {}};
    const auto* bytes = reinterpret_cast<const unsigned char*>(read.text.data());
    std::uint32_t stored = 0;
    for (std::size_t i = 0; i < kCrcSize; ++i) stored |= std::uint32_t{bytes[format::kRecordSize + i]} << (8 * i);
    if (stored != Crc32(bytes, format::kRecordSize)) return {SIM_PHONE_DAMAGED, {}, {}};
    SeenPhone phone{SIM_PHONE_PRESENT, {}, id};
    std::copy_n(bytes, format::kRecordSize, phone.record.begin());
    return phone;
}

PhoneChange ChangePhone(const Folder& folder, int port, SeenPhone& seen, const format::Record* record) {
    if (!folder.Usable()) return PhoneChange::Failed;
    const SeenPhone now = LoadPhone(folder, port);
    if (!SameAsSeen(now, seen)) {
        if (seen.state == SIM_PHONE_NONE) return PhoneChange::PhoneThere;
        return now.state == SIM_PHONE_NONE ? PhoneChange::NoPhone : PhoneChange::ChangedSinceSeen;
    }
    if (record == nullptr) {
        if (now.state == SIM_PHONE_NONE) return PhoneChange::NoPhone;
        if (folder.Remove(PhoneName(port)) != FileRemove::Removed) return PhoneChange::Failed;
        seen = {SIM_PHONE_NONE, {}, {}};
        return PhoneChange::Done;
    }
    unsigned char bytes[kFileSize];
    std::copy(record->begin(), record->end(), bytes);
    const std::uint32_t crc = Crc32(record->data(), record->size());
    for (std::size_t i = 0; i < kCrcSize; ++i) bytes[format::kRecordSize + i] = static_cast<unsigned char>(crc >> (8 * i));
    FileId written;
    switch (folder.Write(PhoneName(port), bytes, sizeof bytes, now.state != SIM_PHONE_NONE, &written)) {
        case FileWrite::Ok: break;
        case FileWrite::Exists: return PhoneChange::PhoneThere;
        case FileWrite::Failed: return PhoneChange::Failed;
    }
    seen = {SIM_PHONE_PRESENT, *record, written};
    return PhoneChange::Done;
}

PhoneChange MovePhoneFile(const Folder& folder, int from, const SeenPhone& seen, int to) {
    if (!folder.Usable()) return PhoneChange::Failed;
    const SeenPhone now = LoadPhone(folder, from);
    if (now.state == SIM_PHONE_NONE) return PhoneChange::NoPhone;
    if (!SameAsSeen(now, seen)) return PhoneChange::ChangedSinceSeen;
    switch (folder.MoveToFree(PhoneName(from), PhoneName(to))) {
        case FileWrite::Ok: return PhoneChange::Done;
        case FileWrite::Exists: return PhoneChange::PhoneThere;
        case FileWrite::Failed: break;
    }
    return PhoneChange::Failed;
}

}  // namespace desk
