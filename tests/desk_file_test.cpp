// The desk's files in a shared temp folder: nothing is ever written through a link that
// someone planted, and a stale or foreign folder is refused.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "regular_file.hpp"

#ifdef _WIN32
#include <windows.h>

#include <thread>
#endif

namespace {

namespace fs = std::filesystem;

class DeskFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (std::string("desk-file-test-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        ASSERT_EQ(sim::PreparePrivateFolder(folder_), "");
        victim_ = folder_ / "victim";
        std::ofstream(victim_) << "someone else's file";
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Victim() const {
        std::ifstream in(victim_);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // A link planted where the desk is about to write, to the victim or to a folder.
    fs::path Plant(const char* name, bool to_folder = false) {
        const fs::path link = folder_ / name;
        std::error_code error;
        if (to_folder) {
            fs::create_directory(folder_ / "elsewhere", error);
            fs::create_directory_symlink(folder_ / "elsewhere", link, error);
        } else {
            fs::create_symlink(victim_, link, error);
        }
        if (error) return {};
        return link;
    }

    fs::path folder_, victim_;
};

TEST_F(DeskFileTest, NeverWritesThroughAPlantedLink) {
    const fs::path temporary = Plant("port1.phone.tmp1234-0-1");
    const fs::path trace = Plant("desk.trace");
    if (temporary.empty() || trace.empty()) GTEST_SKIP() << "links cannot be made here";
    const unsigned char bytes[] = {'f', 'o', 'r', 'g', 'e', 'd'};
    EXPECT_FALSE(sim::WriteNewFile(temporary, bytes, sizeof bytes));
    EXPECT_FALSE(sim::AppendToFile(trace, "a trace line\n"));
    EXPECT_EQ(Victim(), "someone else's file");
}

TEST_F(DeskFileTest, ReplacesALinkAtTheTargetInsteadOfWritingThroughIt) {
    const fs::path phone = Plant("port1.phone");
    if (phone.empty()) GTEST_SKIP() << "links cannot be made here";
    const unsigned char bytes[] = {'n', 'e', 'w'};
    EXPECT_EQ(sim::WriteFileAtomically(phone, bytes, sizeof bytes, true), sim::FileWrite::Ok);
    EXPECT_FALSE(fs::is_symlink(phone));
    EXPECT_EQ(Victim(), "someone else's file");
}

TEST_F(DeskFileTest, ALinkInPlaceOfTheDeskFolderIsRefused) {
    const fs::path folder = Plant("desk", true);
    if (folder.empty()) GTEST_SKIP() << "links cannot be made here";
    EXPECT_NE(sim::PreparePrivateFolder(folder), "");
}

#ifdef _WIN32
// On a station PC, a virus scanner or a viewer may hold the phone file open while a
// station records a result: the write must still land, whole.
TEST_F(DeskFileTest, AReaderHoldingThePhoneFileOpenDoesNotStopAWrite) {
    struct Reader {
        const char* name;
        DWORD share;
        int holds_ms;  // how long the reader keeps the file open; -1 for the whole write
    };
    const Reader readers[] = {
        {"allows deletion", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, -1},
        {"allows reading only, for a moment", FILE_SHARE_READ, 200},
    };
    for (const Reader& reader : readers) {
        SCOPED_TRACE(reader.name);
        const fs::path phone = folder_ / "port1.phone";
        const unsigned char old_bytes[] = {'o', 'l', 'd'};
        const unsigned char new_bytes[] = {'n', 'e', 'w'};
        ASSERT_EQ(sim::WriteFileAtomically(phone, old_bytes, sizeof old_bytes, true), sim::FileWrite::Ok);
        HANDLE held = CreateFileW(phone.c_str(), GENERIC_READ, reader.share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::thread release;
        if (reader.holds_ms >= 0) release = std::thread([&] {
            Sleep(static_cast<DWORD>(reader.holds_ms));
            CloseHandle(held);
        });
        EXPECT_EQ(sim::WriteFileAtomically(phone, new_bytes, sizeof new_bytes, true), sim::FileWrite::Ok);
        if (release.joinable()) release.join();
        else CloseHandle(held);
        unsigned char stored[3] = {};
        EXPECT_EQ(sim::ReadRegularFile(phone, stored, sizeof stored), sim::FileRead::Ok);
        EXPECT_EQ(std::string(stored, stored + 3), "new");
    }
}
#endif

}  // namespace
