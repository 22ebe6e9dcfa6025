#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The content an Authenticode signature signs: which kind of file it is
// for and that file's digest. The digest points into the caller's buffer.
struct SpcIndirectData {
    std::string dataType;         // dotted; 1.3.6.1.4.1.311.2.1.15 for a PE image
    std::string digestAlgorithm;  // dotted
    const uint8_t* digest = nullptr;
    size_t digestLength = 0;
};

// Reads an SpcIndirectDataContent from its contents octets (as
// SignedDataView::content gives them). False, with data untouched, when
// they are malformed.
bool ReadSpcIndirectData(const uint8_t* contents, size_t size, SpcIndirectData& data);
