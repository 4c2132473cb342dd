// The record as it travels to and from the phone: fixed fields rebuilt, carried fields kept,
// and answers from the driver that do not hold a whole record refused.
#include "phone_fixture.hpp"

namespace {

using RecordTransferTest = PhoneTest;

TEST_F(RecordTransferTest, CarriedFieldsSurviveAndFixedFieldsAreRebuilt) {
    const Record before = PatternedRecord(0x00, 0x00);
    PutPhone(before);
    ASSERT_EQ(R_RES2_Pass(), 1);

    const auto writes = Writes();
    ASSERT_EQ(writes.size(), 1u);
    const std::vector<unsigned char>& w = writes[0];
    ASSERT_EQ(w.size(), 1036u);
    ASSERT_EQ(Calls(SIM_WRITE_RECORD)[0].args[0], 1000);

    EXPECT_TRUE(std::equal(w.begin(), w.begin() + 780, before.begin())) << "pass-through";
    const std::vector<unsigned char> header = {0x00, 0x01, 0x00, 0xFF, '5', '8', '2', '7', 0x00};
    EXPECT_EQ(std::vector<unsigned char>(w.begin() + 780, w.begin() + 789), header);
    EXPECT_TRUE(std::equal(w.begin() + 789, w.begin() + 794, before.begin() + 789)) << "bsn";
    EXPECT_EQ(std::vector<unsigned char>(w.begin() + 794, w.begin() + 810), std::vector<unsigned char>(16, 0xFF));
    EXPECT_EQ(w[810], 0x01);
    EXPECT_EQ(w[811], 0x01);
    EXPECT_EQ(std::vector<unsigned char>(w.begin() + 812, w.begin() + 826), std::vector<unsigned char>(14, 0x00));
    const std::vector<unsigned char> pairs = {0x01, 0xD5, 0x02, 0xC5, 0x03, 0xCE, 0x04, 0xF7, 0x05, 0xB8, 0x06, 0xFC};
    EXPECT_EQ(std::vector<unsigned char>(w.begin() + 826, w.begin() + 838), pairs);
    EXPECT_TRUE(std::equal(w.begin() + 838, w.begin() + 866, before.begin() + 838)) << "stamps 0..6";
    EXPECT_EQ(std::vector<unsigned char>(w.begin() + 870, w.end()), std::vector<unsigned char>(166, 0x00));
}

TEST_F(RecordTransferTest, NonDecimalBsnIsKept) {
    Record before = PatternedRecord(0x00, 0x00);
    const unsigned char bsn[5] = {0xAB, 0xCD, 0xEF, 0x0A, 0xF0};
    std::copy(std::begin(bsn), std::end(bsn), before.begin() + kRecordBsn);
    PutPhone(before);
    ASSERT_EQ(R_LAMA_Fail(), 1);
    const Record after = PhoneRecord();
    EXPECT_TRUE(std::equal(std::begin(bsn), std::end(bsn), after.begin() + kRecordBsn));
}

struct MalformedRead {
    const char* name;
    unsigned short length;
    bool with_bytes;
};

class MalformedReadTest : public PhoneTest, public ::testing::WithParamInterface<MalformedRead> {};

// A read that succeeds without a whole record is refused and nothing is written:
// writing it back at 1036 bytes would destroy the phone's record.
TEST_P(MalformedReadTest, IsRefusedAndWritesNothing) {
    const Record before = PatternedRecord(0x12, 0x34);
    PutPhone(before);
    const MalformedRead& c = GetParam();
    std::vector<unsigned char> bytes(c.length, 0x5C);
    sim_script_read(c.with_bytes ? bytes.data() : nullptr, c.length);

    EXPECT_EQ(R_BT_Pass(), 0);
    EXPECT_EQ(Calls(SIM_READ_RECORD).size(), 1u);
    EXPECT_TRUE(Calls(SIM_WRITE_RECORD).empty());
    EXPECT_EQ(PhoneRecord(), before);
}

const MalformedRead kMalformedReads[] = {
    {"Empty", 0, true},           {"OneByte", 1, true},         {"PassThroughOnly", 780, true},
    {"EndsInsideStamps", 869, true}, {"OneShort", 1035, true},  {"OneLong", 1037, true},
    {"Double", 2072, true},       {"Largest", 65535, true},     {"NoBytesAtFullLength", 1036, false},
    {"NoBytesNoLength", 0, false},
};

INSTANTIATE_TEST_SUITE_P(Lengths, MalformedReadTest, ::testing::ValuesIn(kMalformedReads),
                         CaseName<MalformedRead>);

TEST_F(RecordTransferTest, ScriptedWholeRecordIsAccepted) {
    // The scripted path itself must not be what refuses the malformed answers above.
    const Record phone = PatternedRecord(0x00, 0x00);
    sim_script_read(phone.data(), 1036);
    EXPECT_EQ(R_BT_Pass(), 1);
    EXPECT_EQ(Calls(SIM_WRITE_RECORD).size(), 1u);
}

}  // namespace
