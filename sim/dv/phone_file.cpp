#include "phone_file.hpp"

#include "desk_folder.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

namespace sim {
namespace {

constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kFileSize = SIM_RECORD_SIZE + kCrcSize;

std::uint32_t Crc32(const unsigned char* bytes, std::size_t count) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void FileBytes(const Record& record, unsigned char (&bytes)[kFileSize]) {
    std::copy(record.begin(), record.end(), bytes);
    const std::uint32_t crc = Crc32(record.data(), record.size());
    for (std::size_t i = 0; i < kCrcSize; ++i) bytes[SIM_RECORD_SIZE + i] = static_cast<unsigned char>(crc >> (8 * i));
}

}  // namespace

// Not "COM1.phone": Windows takes COM1 to COM9 as the serial devices themselves, whatever the extension.
std::filesystem::path PhoneFile(int port) { return PortFile(port, ".phone"); }

LoadedPhone LoadPhoneFile(const std::filesystem::path& path) {
    if (!PrepareDeskFolder().empty()) return {SIM_PHONE_DESK_REFUSED, {}};
    unsigned char bytes[kFileSize];
    switch (ReadRegularFile(path, bytes, sizeof bytes)) {
        case FileRead::Ok: break;
        case FileRead::Missing: return {SIM_PHONE_NONE, {}};
        case FileRead::WrongSize: return {SIM_PHONE_DAMAGED, {}};
        case FileRead::NotRegular:
        case FileRead::Unreadable: return {SIM_PHONE_UNREADABLE, {}};
    }
    std::uint32_t stored = 0;
    for (std::size_t i = 0; i < kCrcSize; ++i) stored |= std::uint32_t{bytes[SIM_RECORD_SIZE + i]} << (8 * i);
    if (stored != Crc32(bytes, SIM_RECORD_SIZE)) return {SIM_PHONE_DAMAGED, {}};
    LoadedPhone phone{SIM_PHONE_PRESENT, {}};
    std::copy_n(bytes, SIM_RECORD_SIZE, phone.record.begin());
    return phone;
}

bool SavePhoneFile(const std::filesystem::path& path, const Record& record) {
    if (!PrepareDeskFolder().empty()) return false;
    unsigned char bytes[kFileSize];
    FileBytes(record, bytes);
    return WriteFileAtomically(path, bytes, sizeof bytes, true) == FileWrite::Ok;
}

FileWrite CreatePhoneFile(const std::filesystem::path& path, const Record& record) {
    if (!PrepareDeskFolder().empty()) return FileWrite::Failed;
    unsigned char bytes[kFileSize];
    FileBytes(record, bytes);
    return WriteFileAtomically(path, bytes, sizeof bytes, false);
}

}  // namespace sim
