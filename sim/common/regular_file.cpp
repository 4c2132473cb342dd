#include "regular_file.hpp"

#include <algorithm>

namespace sim {

FileRead ReadRegularFile(const std::filesystem::path& path, unsigned char* bytes, std::size_t size) {
    const TextRead read = ReadTextFile(path, size);
    if (read.status != FileRead::Ok) return read.status;
    if (read.text.size() != size) return FileRead::WrongSize;
    std::copy(read.text.begin(), read.text.end(), bytes);
    return FileRead::Ok;
}

}  // namespace sim
