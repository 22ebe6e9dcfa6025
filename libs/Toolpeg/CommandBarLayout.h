#pragma once

#include "toolpeg/ButtonCatalogue.h"

#include <cstdint>
#include <string>
#include <vector>

// A command-bar layout: entry 0 is a leading value that belongs to the
// browser, entries 1 on are button ids in display order.
typedef std::vector<uint32_t> CCommandBarLayout;

// The layout a stored value holds: its bytes as little-endian 32-bit
// entries. Bytes beyond the last whole entry are ignored; a value shorter
// than one entry holds no layout (empty result).
CCommandBarLayout DecodeLayoutValue(const std::vector<uint8_t>& bytes);

// The bytes to store for a layout: 4 little-endian bytes per entry.
std::vector<uint8_t> EncodeLayoutValue(const CCommandBarLayout& layout);

// The layout with buttonKey's button first.
// With a stored layout (non-empty): its leading value, the button's id, then
// every stored button other than that id in stored order. Without one: 7,
// the button's id, the generation's built-in buttons, then every other
// catalogued button whose "Default Visible" says yes, in catalogue order.
// False (newLayout untouched) when the generation has no command bar or when
// buttonKey isn't a catalogued toolbar button: the caller then leaves the
// stored layout alone.
bool ComputeCommandBarLayout(const CCommandBarLayout& stored, const CButtonCatalogue& catalogue,
                             const std::wstring& buttonKey, int generation,
                             CCommandBarLayout& newLayout);
