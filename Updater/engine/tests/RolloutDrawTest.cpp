#include "engine/RolloutDraw.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const wchar_t kId[] = L"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

// Publishers plan their rollouts with these numbers, and machines must draw
// them the same way in every version of the Updater.
TEST(RolloutDraw, BucketsAndMachineNamesAreFixed) {
    const struct {
        const wchar_t* id;
        const wchar_t* intname;
        const wchar_t* version;
        unsigned bucket;
        const char* machine;  // the first 16 hexadecimal digits
    } kCases[] = {
        {kId, L"pad", L"2.0", 63, "4655b910fbd3a512"},
        {kId, L"pad", L"2.1", 25, "4655b910fbd3a512"},  // a new draw for the next version
        {kId, L"ink", L"2.0", 1, "d6798c836b7f0a0d"},   // another product's machines unlinked
        {L"", L"pad", L"2.0", 29, "65b941d017a4fc12"},
        {L"{11111111-2222-3333-4444-555555555555}", L"notes-\u00E9", L"1.30", 87,
         "3a885ca74f078fc9"},
    };
    for (const auto& c : kCases) {
        unsigned bucket = 1000;
        ASSERT_TRUE(DrawRolloutBucket(c.id, c.intname, c.version, bucket));
        EXPECT_EQ(c.bucket, bucket) << c.version;
        uint8_t digest[32];
        ASSERT_TRUE(DrawMachineDigest(c.id, c.intname, digest));
        char hex[17];
        for (int i = 0; i < 8; ++i)
            std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
        EXPECT_STREQ(c.machine, hex) << c.version;
    }
}

}  // namespace
