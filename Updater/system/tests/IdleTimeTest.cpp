#include "system/IdleTime.h"

#include <gtest/gtest.h>

namespace {

struct IdleCase {
    const char* what;
    uint32_t now, mark, idle;
};

TEST(IdleTime, MarksAgainstTheTimeRead) {
    const IdleCase cases[] = {
        {"mark just taken", 5000, 5000, 0},
        {"mark in the past", 65000, 5000, 60000},
        {"progress reported after the time was read", 5000, 5001, 0},
        {"well after the time was read", 5000, 5400, 0},
        {"counter wrapped since the mark", 0x00000100u, 0xFFFFFF00u, 0x200},
        {"counter wrapped, one tick", 0, 0xFFFFFFFFu, 1},
        {"mark taken after the wrap, time read before it", 0xFFFFFFF0u, 0x00000010u, 0},
        {"mark at the counter's top", 0xFFFFFFFFu, 0xFFFFFFFFu, 0},
        {"longest span counted", 0x7FFFFFFFu, 0, 0x7FFFFFFFu},
    };
    for (const IdleCase& c : cases)
        EXPECT_EQ(c.idle, IdleMilliseconds(c.now, c.mark))
            << c.what << ": now " << c.now << ", mark " << c.mark;
}

}  // namespace
