#include "system/IdleTime.h"

uint32_t IdleMilliseconds(uint32_t now, uint32_t mark) {
    // The difference modulo 2^32 is right across the counter's wrap; read as
    // signed, a negative one is a mark taken after now, not one 49 days old.
    uint32_t since = now - mark;
    return since >= 0x80000000u ? 0 : since;
}
