#include "toolpeg/CommandBarLayout.h"

#include "toolpeg/CommandBarGeneration.h"

namespace {

// Leading value of a layout this DLL writes from scratch.
const uint32_t kNewLayoutLead = 7;

}  // namespace

CCommandBarLayout DecodeLayoutValue(const std::vector<uint8_t>& bytes) {
    CCommandBarLayout layout;
    const size_t count = bytes.size() / 4;
    layout.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = &bytes[i * 4];
        layout.push_back(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
    }
    return layout;
}

std::vector<uint8_t> EncodeLayoutValue(const CCommandBarLayout& layout) {
    std::vector<uint8_t> bytes;
    bytes.reserve(layout.size() * 4);
    for (uint32_t entry : layout) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(entry >> shift));
    }
    return bytes;
}

bool ComputeCommandBarLayout(const CCommandBarLayout& stored, const CButtonCatalogue& catalogue,
                             const std::wstring& buttonKey, int generation,
                             CCommandBarLayout& newLayout) {
    const CCommandBarGeneration* traits = FindCommandBarGeneration(generation);
    if (!traits)
        return false;
    CButtonCatalogue::const_iterator target = catalogue.find(buttonKey);
    if (target == catalogue.end())
        return false;
    const uint32_t targetId = target->second.id;

    CCommandBarLayout layout;
    if (!stored.empty()) {
        layout.reserve(stored.size() + 1);
        layout.push_back(stored[0]);
        layout.push_back(targetId);
        for (size_t i = 1; i < stored.size(); ++i) {
            if (stored[i] != targetId)
                layout.push_back(stored[i]);
        }
    } else {
        layout.push_back(kNewLayoutLead);
        layout.push_back(targetId);
        layout.insert(layout.end(), traits->builtIns, traits->builtIns + traits->builtInCount);
        for (const CButtonCatalogue::value_type& entry : catalogue) {
            if (entry.first != buttonKey && IsDefaultVisible(entry.second.defaultVisible))
                layout.push_back(entry.second.id);
        }
    }
    newLayout.swap(layout);
    return true;
}
