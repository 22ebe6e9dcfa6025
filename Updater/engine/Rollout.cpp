#include "engine/Rollout.h"

#include "system/TextCodec.h"

std::string RolloutText(const std::wstring& id, const std::wstring& intname,
                        const std::wstring& version) {
    return WideToUtf8(id + L"|" + intname + L"|" + version);
}

unsigned RolloutBucket(const uint8_t (&digest)[32]) {
    const uint32_t first = (static_cast<uint32_t>(digest[0]) << 24) |
                           (static_cast<uint32_t>(digest[1]) << 16) |
                           (static_cast<uint32_t>(digest[2]) << 8) | digest[3];
    return first % 100;
}
