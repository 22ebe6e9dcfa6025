#include "log/Md5Text.h"

#include "common/TextNumbers.h"

std::wstring FormatMd5Hex(const uint8_t (&digest)[16]) {
    return HexBytes(digest, sizeof digest);
}
