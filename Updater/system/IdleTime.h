#pragma once

#include <cstdint>

// How long ago, in milliseconds, a tick count mark lies before now, both read
// from the system's millisecond tick counter, which wraps around every 49.7
// days. A mark newer than now (set by another thread between the two reads)
// counts as no idleness at all. Spans are counted correctly up to 24.8 days.
uint32_t IdleMilliseconds(uint32_t now, uint32_t mark);
