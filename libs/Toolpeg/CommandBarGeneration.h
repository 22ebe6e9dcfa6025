#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What differs between the command bars of Internet Explorer 7 and 8: the
// name of the stored layout value, the id given to the first toolbar-button
// extension, and the built-in buttons a fresh layout starts with.
struct CCommandBarGeneration {
    int generation;                  // 7 or 8
    const wchar_t* layoutValueName;  // "ButtonLayout" or "CommandBandLayout"
    uint32_t firstExtensionId;       // 272 or 361
    const uint32_t* builtIns;        // built-in button ids of a new layout, in order
    size_t builtInCount;
};

// The browser generation told by the "Version" value's text: 7 for "7.",
// 8 for "8.", 6 (no command bar we know how to arrange) for anything else,
// the empty text included.
int BrowserGenerationFromVersion(const std::wstring& version);

// The description of generation 7 or 8; null for any other generation.
const CCommandBarGeneration* FindCommandBarGeneration(int generation);
