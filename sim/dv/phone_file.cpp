#include "phone_file.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define SIM_GETPID _getpid
#else
#include <unistd.h>
#define SIM_GETPID getpid
#endif

namespace sim {
namespace {

constexpr std::size_t kCrcSize = 4;

std::uint32_t Crc32(const unsigned char* bytes, std::size_t count) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace

std::filesystem::path PhoneFolder() {
    if (const char* folder = std::getenv("STAGEMARK_SIM_DIR"); folder != nullptr && *folder != '\0') return folder;
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    return (error ? std::filesystem::path(".") : temp) / "stagemark-sim";
}

// Not "COM1.phone": Windows takes COM1 to COM9 as the serial devices themselves, whatever the extension.
std::filesystem::path PhoneFile(int port) { return PhoneFolder() / ("port" + std::to_string(port) + ".phone"); }

std::optional<Record> LoadPhoneFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() != SIM_RECORD_SIZE + kCrcSize) return std::nullopt;
    std::uint32_t stored = 0;
    for (std::size_t i = 0; i < kCrcSize; ++i) stored |= std::uint32_t{bytes[SIM_RECORD_SIZE + i]} << (8 * i);
    if (stored != Crc32(bytes.data(), SIM_RECORD_SIZE)) return std::nullopt;
    Record record;
    std::copy_n(bytes.begin(), SIM_RECORD_SIZE, record.begin());
    return record;
}

bool SavePhoneFile(const std::filesystem::path& path, const Record& record) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    std::filesystem::path temporary = path;
    temporary += ".tmp" + std::to_string(SIM_GETPID());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        const std::uint32_t crc = Crc32(record.data(), record.size());
        unsigned char trailer[kCrcSize];
        for (std::size_t i = 0; i < kCrcSize; ++i) trailer[i] = static_cast<unsigned char>(crc >> (8 * i));
        out.write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
        out.write(reinterpret_cast<const char*>(trailer), sizeof trailer);
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temporary, error);
            return false;
        }
    }
    std::filesystem::rename(temporary, path, error);
    if (!error) return true;
    std::filesystem::remove(temporary, error);
    return false;
}

}  // namespace sim
