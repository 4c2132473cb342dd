// The stand-in's files, handled so that a station never hangs, aborts or loses a phone:
// only regular files are read, and only as many bytes as they should hold; every write
// goes to a new file, created exclusively and never through a link, then moved into place.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace sim {

enum class FileRead { Ok, Missing, NotRegular, WrongSize, Unreadable };

// Reads a regular file that holds exactly `size` bytes.
FileRead ReadRegularFile(const std::filesystem::path& path, unsigned char* bytes, std::size_t size);

struct TextRead {
    FileRead status = FileRead::Missing;
    std::string text;
};

// Reads a regular file of at most `limit` bytes (WrongSize when larger).
TextRead ReadTextFile(const std::filesystem::path& path, std::size_t limit);

// Appends the text with one write, so that lines two processes append at once never mix.
bool AppendToFile(const std::filesystem::path& path, const std::string& text);

enum class FileWrite { Ok, Exists, Failed };

// Creates the file only where nothing is, never through a link, and writes the bytes to
// stable storage. False when anything (a file, a planted link) is at the path.
bool WriteNewFile(const std::filesystem::path& path, const unsigned char* bytes, std::size_t size);

// Writes the bytes to a new temporary file beside `path`, then moves it into place: over
// the old file when `replace`, else only where no file is (Exists otherwise). Readers see
// the old bytes or the new ones, never a mixture. On Windows, while another program holds
// the file open, the name may be free for a moment: a station then finds no phone.
FileWrite WriteFileAtomically(const std::filesystem::path& path, const unsigned char* bytes, std::size_t size,
                              bool replace);

enum class FileRemove { Removed, Missing, Failed };

FileRemove RemoveFile(const std::filesystem::path& path);

// The system's temporary folder; never the current directory.
std::filesystem::path TemporaryFolder();

// Creates the folder, private to this user, if it is missing, and checks that it can be
// trusted: a real folder of this user's that nobody else can write, since the desk
// believes every record it finds there. Empty when it can; otherwise why not.
std::string PreparePrivateFolder(const std::filesystem::path& folder);

}  // namespace sim
