// ICU's entry point to its data, standing in for the archive of the data when the command line
// carries them in a section of its file (EmbeddedIcuData): a valid table of contents with no
// entry, so that ICU asks for the data that mapEmbeddedIcuData hands it.

#include <unicode/udata.h>
#include <unicode/utypes.h>

#include <cstdint>

namespace {

struct EmptyCommonData {
    uint16_t headerSize;
    uint8_t magic1;
    uint8_t magic2;
    UDataInfo info;
    char padding[8];
    uint32_t entryCount;
    uint32_t reserved;
};

} // namespace

extern "C" U_EXPORT const EmptyCommonData U_ICUDATA_ENTRY_POINT = {
    .headerSize = 32,
    .magic1 = 0xda,
    .magic2 = 0x27,
    .info = { .size = sizeof(UDataInfo),
        .reservedWord = 0,
        .isBigEndian = U_IS_BIG_ENDIAN,
        .charsetFamily = U_CHARSET_FAMILY,
        .sizeofUChar = sizeof(UChar),
        .reservedByte = 0,
        .dataFormat = { 0x54, 0x6f, 0x43, 0x50 }, // "ToCP": a table of contents
        .formatVersion = { 1, 0, 0, 0 },
        .dataVersion = { 0, 0, 0, 0 } },
    .padding = {},
    .entryCount = 0,
    .reserved = 0,
};
