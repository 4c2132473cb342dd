// A station's session against both kinds of phone the stand-ins keep: in memory, and in
// a desk file that other processes share. Then what only the desk does: it holds the
// link to one thread and one port, and writes only over the phone file it read.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "phone_fixture.hpp"

namespace {

namespace fs = std::filesystem;

enum class PhoneKind { InMemory, InDeskFile };

// A desk folder of the test's own, with the desk on.
class DeskFolder {
  public:
    DeskFolder() {
        path_ = fs::temp_directory_path() /
                (std::string("desk-phone-test-") + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::remove_all(path_);
#ifdef _WIN32
        _wputenv_s(L"STAGEMARK_SIM_DIR", path_.c_str());
#else
        setenv("STAGEMARK_SIM_DIR", path_.c_str(), 1);
#endif
        sim_link_use_desk(1);
    }
    ~DeskFolder() {
        sim_reset();
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

    // The checks the desk's trace holds, one per line.
    std::string Checks() const {
        std::ifstream in(path_ / "desk.trace", std::ios::binary);
        std::string checks, line;
        while (std::getline(in, line)) {
            if (line.find("\tcheck\t") != std::string::npos) checks += line.substr(line.rfind('\t') + 1) + "\n";
        }
        return checks;
    }

  private:
    fs::path path_;
};

class PhoneKinds : public ::testing::TestWithParam<PhoneKind> {
  protected:
    static constexpr int kPort = 3;

    void SetUp() override {
        sim_reset();
        if (GetParam() == PhoneKind::InDeskFile) desk_.emplace();
        ASSERT_EQ(InitTat(kPort), 1);
    }
    void TearDown() override {
        ExitTat(kPort);
        desk_.reset();
        sim_reset();
    }

    void Put(const Record& record) {
        if (desk_) {
            ASSERT_EQ(sim_desk_put_record(kPort, record.data()), 1);
        } else {
            PutPhone(record);
        }
    }

    std::optional<DeskFolder> desk_;
};

// Direct and cached results, statuses and the BSN: the phone ends as the station recorded
// it, whichever way the stand-ins keep it, and the bytes the library carries through stay.
TEST_P(PhoneKinds, AStationSessionEndsOnThePhone) {
    const Record before = PatternedRecord(0x00, 0x00);
    Put(before);
    const std::uint32_t earliest = ClockNow();
    ASSERT_EQ(R_FT_Pass(), 1);
    ASSERT_NE(OpenTestHandle(), nullptr);
    EXPECT_EQ(FT_Status(), 1);
    ASSERT_EQ(BT_Fail(), 1);
    ASSERT_EQ(CT_Pass(), 1);
    EXPECT_EQ(BT_Status(), 2);
    CloseTestHandle();
    const std::uint32_t latest = ClockNow();

    const Record after = PhoneRecord();
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 780, before.begin())) << "the pass-through area changed";
    EXPECT_EQ(after[kRecordDoneFlags], 0x08 | 0x40 | 0x20);
    EXPECT_EQ(after[kRecordPassFlags], 0x08 | 0x20);
    for (int slot : {1, 2, 4}) {
        const std::uint32_t stamp = StampAt(&after[static_cast<std::size_t>(kRecordStamps + 4 * slot)]);
        EXPECT_GE(stamp, earliest);
        EXPECT_LE(stamp, latest);
    }
}

// A write the phone refuses leaves the phone as it was, and the next one lands.
TEST_P(PhoneKinds, AFailedWriteLeavesThePhoneAsItWas) {
    const Record before = PatternedRecord(0x00, 0x00);
    Put(before);
    sim_fail(SIM_WRITE_RECORD, 0, -1, 0);
    EXPECT_EQ(R_LAMA_Fail(), 0);
    EXPECT_EQ(PhoneRecord(), before);
    EXPECT_EQ(R_LAMA_Fail(), 1);
    EXPECT_EQ(PhoneRecord()[kRecordDoneFlags], 0x10);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, PhoneKinds, ::testing::Values(PhoneKind::InMemory, PhoneKind::InDeskFile),
                         [](const ::testing::TestParamInfo<PhoneKind>& kind) {
                             return kind.param == PhoneKind::InMemory ? "InMemory" : "InDeskFile";
                         });

class DeskStation : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        desk_.emplace();
        ASSERT_EQ(sim_desk_put_record(1, PatternedRecord(0, 0).data()), 1);
        ASSERT_EQ(sim_desk_put_record(2, PatternedRecord(0, 0).data()), 1);
    }
    void TearDown() override { desk_.reset(); }
    std::optional<DeskFolder> desk_;
};

// The link library keeps its storage per thread: a call from another thread than the
// one that opened the link fails on the desk, and the trace says why.
TEST_F(DeskStation, ACallFromAnotherThreadFailsAndIsCaught) {
    ASSERT_EQ(InitTat(1), 1);
    int direct = -1;
    unsigned char* handle = reinterpret_cast<unsigned char*>(1);
    std::thread other([&] {
        direct = R_BT_Pass();
        handle = OpenTestHandle();
    });
    other.join();
    EXPECT_EQ(direct, 0);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(ExitTat(1), 1);
    EXPECT_EQ(PhoneRecord()[kRecordDoneFlags], 0) << "nothing recorded from the other thread";
    EXPECT_NE(desk_->Checks().find("but the link on COM1 was opened on thread"), std::string::npos) << desk_->Checks();
}

// Closing another port than the open link's, and opening a second link, are the
// station's mistakes: said on the open link's port.
TEST_F(DeskStation, ALinkClosedOnTheWrongPortOrOpenedTwiceIsCaught) {
    ASSERT_EQ(InitTat(1), 1);
    EXPECT_EQ(ExitTat(2), 0);
    EXPECT_EQ(ExitTat(1), 1);
    ASSERT_EQ(InitTat(1), 1);
    InitTat(2);
    ExitTat(2);
    ExitTat(1);
    const std::string checks = desk_->Checks();
    EXPECT_NE(checks.find("InitTat for COM2 was called while the link on COM1 is open"), std::string::npos) << checks;
    EXPECT_NE(checks.find("ExitTat for port 2 closed no link: the link is open on COM1"), std::string::npos) << checks;
}

// A phone file changed by something that does not hold the port, after the station read
// it, is never written over: the write fails and the trace says why.
TEST_F(DeskStation, AWriteOverAPhoneFileChangedSinceItWasReadIsRefused) {
    ASSERT_EQ(InitTat(1), 1);
    ASSERT_NE(OpenTestHandle(), nullptr);
    const fs::path phone = desk_->path() / "port1.phone";
    std::string bytes;
    {
        std::ifstream in(phone, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::remove(phone);
    std::ofstream(phone, std::ios::binary) << bytes;  // the same bytes, another file
    EXPECT_EQ(FT_Pass(), 0);
    CloseTestHandle();
    EXPECT_EQ(ExitTat(1), 1);
    EXPECT_EQ(PhoneRecord()[kRecordDoneFlags], 0);
    EXPECT_NE(desk_->Checks().find("the phone file changed since this process read it"), std::string::npos)
        << desk_->Checks();
}

#ifndef _WIN32
// The link goes on in the folder it opened and holds the port in: a folder put at the
// desk's name meanwhile, whose port nobody holds, is never the one written. (Windows
// refuses to rename the folder while the link holds it open.)
TEST_F(DeskStation, ALinkStaysInTheFolderItOpenedWhenTheNameIsSwapped) {
    ASSERT_EQ(InitTat(1), 1);
    ASSERT_NE(OpenTestHandle(), nullptr);
    const fs::path moved = desk_->path().string() + "-moved";
    fs::rename(desk_->path(), moved);
    fs::create_directory(desk_->path());
    fs::permissions(desk_->path(), fs::perms::owner_all, fs::perm_options::replace);
    fs::copy_file(moved / "port1.phone", desk_->path() / "port1.phone");
    EXPECT_EQ(FT_Pass(), 1);
    CloseTestHandle();
    EXPECT_EQ(ExitTat(1), 1);
    const auto done_flags = [](const fs::path& phone) {
        std::ifstream in(phone, std::ios::binary);
        in.seekg(kRecordDoneFlags);
        return in.get();
    };
    EXPECT_EQ(done_flags(moved / "port1.phone"), 0x08) << "the result is in the folder the link held";
    EXPECT_EQ(done_flags(desk_->path() / "port1.phone"), 0) << "the folder put at the name is untouched";
    fs::remove_all(moved);
}
#endif

}  // namespace
