#include "virgin_param.hpp"

#include <cstring>

#include "../driver/phone_driver.h"

namespace stagemark {
namespace {

constexpr unsigned char kHeader[8] = {0x00, 0x01, 0x00, 0xFF, '5', '8', '2', '7'};
constexpr unsigned char kPairBlock[12] = {0x01, 0xD5, 0x02, 0xC5, 0x03, 0xCE, 0x04, 0xF7, 0x05, 0xB8, 0x06, 0xFC};
constexpr std::size_t kFfBlockSize = 16;

}  // namespace

void BuildVirginParam(const TestHandle& source, unsigned char record[VIRGIN_PARAM_SIZE]) {
    std::memset(record, 0, VIRGIN_PARAM_SIZE);
    std::memcpy(record, source.passthrough, PASSTHROUGH_SIZE);
    std::memcpy(record + record_offset::header, kHeader, sizeof kHeader);
    std::memcpy(record + record_offset::bsn, source.bsn, sizeof source.bsn);
    std::memset(record + record_offset::ffBlock, 0xFF, kFfBlockSize);
    record[record_offset::passFlags] = source.passFlags;
    record[record_offset::doneFlags] = source.doneFlags;
    std::memcpy(record + record_offset::pairBlock, kPairBlock, sizeof kPairBlock);
    std::memcpy(record + record_offset::stamps, source.stamps, sizeof source.stamps);
}

bool ReadVirginParam(TestHandle& destination) {
    unsigned char* data = nullptr;
    unsigned short length = 0;
    if (_dva26_00ReadVirginParameterFromDataFlash(VIRGIN_PARAM_ID, &data, &length) != 0) return false;
    // Only a whole record maps onto the working copy. Any other length would make the
    // pass-through copy overrun or fall short, and the fixed offsets could lie outside
    // the bytes; writing such a phone back at 1036 bytes would destroy its record.
    if (data == nullptr || length != VIRGIN_PARAM_SIZE) return false;

    std::memcpy(destination.passthrough, data, length - RECORD_OVERHEAD);
    std::memcpy(destination.bsn, data + record_offset::bsn, sizeof destination.bsn);
    destination.passFlags = data[record_offset::passFlags];
    destination.doneFlags = data[record_offset::doneFlags];
    std::memcpy(destination.stamps, data + record_offset::stamps, sizeof destination.stamps);
    return true;
}

bool WriteVirginParam(const TestHandle& source) {
    unsigned char record[VIRGIN_PARAM_SIZE];
    BuildVirginParam(source, record);
    return _dva26_01WriteVirginParameterToDataFlash(VIRGIN_PARAM_ID, record,
                                                    static_cast<unsigned short>(VIRGIN_PARAM_SIZE)) == 0;
}

}  // namespace stagemark
