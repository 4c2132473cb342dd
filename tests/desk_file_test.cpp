// The desk's files in a shared temp folder: nothing is ever written through a link that
// someone planted, nothing hangs on a FIFO, a stale or foreign folder is refused, and a
// folder swapped by name after it was opened is never the one read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "desk_folder.hpp"

#ifdef _WIN32
#include <windows.h>

#include <thread>
#else
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

void PointDeskAt(const fs::path& folder) {
#ifdef _WIN32
    _wputenv_s(L"STAGEMARK_SIM_DIR", folder.c_str());
#else
    setenv("STAGEMARK_SIM_DIR", folder.c_str(), 1);
#endif
}

std::string Text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const unsigned char kBytes[] = {'n', 'e', 'w'};

class DeskFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                (std::string("desk-file-test-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        folder_ = root_ / "desk";
        PointDeskAt(folder_);
        ASSERT_TRUE(desk::Folder::Open().Usable());
        victim_ = root_ / "victim";
        std::ofstream(victim_) << "someone else's file";
    }
    void TearDown() override { fs::remove_all(root_); }

    // A link planted in the desk folder, to the victim.
    fs::path Plant(const char* name) {
        std::error_code error;
        fs::create_symlink(victim_, folder_ / name, error);
        return error ? fs::path() : folder_ / name;
    }

    fs::path root_, folder_, victim_;
};

TEST_F(DeskFileTest, NeverWritesOrReadsThroughAPlantedLink) {
    if (Plant("desk.trace").empty() || Plant("port1.faults").empty()) GTEST_SKIP() << "links cannot be made here";
    const desk::Folder folder = desk::Folder::Open();
    std::uintmax_t size = 0;
    EXPECT_FALSE(folder.Append("desk.trace", "a trace line\n", size));
    EXPECT_EQ(folder.Read("port1.faults", 1024).status, desk::FileRead::NotRegular);
    EXPECT_FALSE(folder.HasRegularFile("port1.faults"));
    std::unique_ptr<desk::FileLock> lock;
    std::string problem;
    EXPECT_EQ(folder.Lock("desk.trace", lock, problem), desk::LockResult::Failed);
    EXPECT_NE(problem.find("desk.trace"), std::string::npos) << problem;
    EXPECT_EQ(Text(victim_), "someone else's file");
}

TEST_F(DeskFileTest, ReplacesALinkAtTheTargetInsteadOfWritingThroughIt) {
    if (Plant("port1.phone").empty()) GTEST_SKIP() << "links cannot be made here";
    EXPECT_EQ(desk::Folder::Open().Write("port1.phone", kBytes, sizeof kBytes, true), desk::FileWrite::Ok);
    EXPECT_FALSE(fs::is_symlink(folder_ / "port1.phone"));
    EXPECT_EQ(Text(folder_ / "port1.phone"), "new");
    EXPECT_EQ(Text(victim_), "someone else's file");
}

TEST_F(DeskFileTest, AWriteOnlyWhereNoneIsNeverReplaces) {
    const desk::Folder folder = desk::Folder::Open();
    ASSERT_EQ(folder.Write("port2.phone", kBytes, sizeof kBytes, false), desk::FileWrite::Ok);
    const unsigned char other[] = {'o', 't', 'h', 'e', 'r'};
    EXPECT_EQ(folder.Write("port2.phone", other, sizeof other, false), desk::FileWrite::Exists);
    EXPECT_EQ(Text(folder_ / "port2.phone"), "new");
}

TEST_F(DeskFileTest, ALinkInPlaceOfTheDeskFolderIsRefused) {
    fs::remove_all(folder_);
    fs::create_directory(root_ / "elsewhere");
    std::error_code error;
    fs::create_directory_symlink(root_ / "elsewhere", folder_, error);
    if (error) GTEST_SKIP() << "links cannot be made here";
    const desk::Folder folder = desk::Folder::Open();
    EXPECT_FALSE(folder.Usable());
    EXPECT_NE(folder.Problem().find("link"), std::string::npos) << folder.Problem();
    EXPECT_EQ(folder.Write("port1.phone", kBytes, sizeof kBytes, true), desk::FileWrite::Failed);
    EXPECT_FALSE(fs::exists(root_ / "elsewhere" / "port1.phone"));
}

#ifndef _WIN32
TEST_F(DeskFileTest, AFolderOthersCanWriteIsRefused) {
    ASSERT_EQ(chmod(folder_.c_str(), 0777), 0);
    const desk::Folder folder = desk::Folder::Open();
    EXPECT_FALSE(folder.Usable());
    EXPECT_NE(folder.Problem().find("other users can write"), std::string::npos) << folder.Problem();
}

// What was opened and checked is what is used: a folder put at the desk's name later,
// whatever it holds, is never read.
TEST_F(DeskFileTest, AFolderSwappedByNameAfterTheOpenIsNeverRead) {
    const desk::Folder folder = desk::Folder::Open();
    ASSERT_EQ(folder.Write("port1.phone", kBytes, sizeof kBytes, true), desk::FileWrite::Ok);
    fs::rename(folder_, root_ / "moved");
    fs::create_directory(folder_);
    std::ofstream(folder_ / "port1.phone") << "forged";
    const desk::TextRead read = folder.Read("port1.phone", 64);
    EXPECT_EQ(read.status, desk::FileRead::Ok);
    EXPECT_EQ(read.text, "new");
}

TEST_F(DeskFileTest, AFifoAtADeskFileNeverHangs) {
    for (const char* name : {"desk.trace", "port1.faults", "port1.link", "port1.phone"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(mkfifo((folder_ / name).c_str(), 0600), 0);
        const desk::Folder folder = desk::Folder::Open();
        std::uintmax_t size = 0;
        EXPECT_FALSE(folder.Append(name, "line\n", size));
        EXPECT_EQ(folder.Read(name, 64).status, desk::FileRead::NotRegular);
        std::unique_ptr<desk::FileLock> lock;
        std::string problem;
        EXPECT_EQ(folder.Lock(name, lock, problem), desk::LockResult::Failed);
        EXPECT_NE(problem.find("not a regular file"), std::string::npos) << problem;
    }
}
#endif

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
    const desk::Folder folder = desk::Folder::Open();
    for (const Reader& reader : readers) {
        SCOPED_TRACE(reader.name);
        const fs::path phone = folder_ / "port1.phone";
        const unsigned char old_bytes[] = {'o', 'l', 'd'};
        ASSERT_EQ(folder.Write("port1.phone", old_bytes, sizeof old_bytes, true), desk::FileWrite::Ok);
        HANDLE held = CreateFileW(phone.c_str(), GENERIC_READ, reader.share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::thread release;
        if (reader.holds_ms >= 0) release = std::thread([&] {
            Sleep(static_cast<DWORD>(reader.holds_ms));
            CloseHandle(held);
        });
        EXPECT_EQ(folder.Write("port1.phone", kBytes, sizeof kBytes, true), desk::FileWrite::Ok);
        if (release.joinable()) release.join();
        else CloseHandle(held);
        EXPECT_EQ(folder.Read("port1.phone", 3).text, "new");
    }
}
#endif

}  // namespace
