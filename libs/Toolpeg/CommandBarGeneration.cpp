#include "toolpeg/CommandBarGeneration.h"

namespace {

const uint32_t kBuiltIns7[] = {0x101, 0x103, 0x104, 0x105, 0x106, 0x107};
const uint32_t kBuiltIns8[] = {0x101, 0x103, 0x108, 0x104, 0x105, 0x143, 0x106, 0x107};

const CCommandBarGeneration kGenerations[] = {
    {7, L"ButtonLayout", 0x110, kBuiltIns7, sizeof kBuiltIns7 / sizeof kBuiltIns7[0]},
    {8, L"CommandBandLayout", 0x169, kBuiltIns8, sizeof kBuiltIns8 / sizeof kBuiltIns8[0]},
};

}  // namespace

int BrowserGenerationFromVersion(const std::wstring& version) {
    if (version.compare(0, 2, L"7.") == 0)
        return 7;
    if (version.compare(0, 2, L"8.") == 0)
        return 8;
    return 6;
}

const CCommandBarGeneration* FindCommandBarGeneration(int generation) {
    for (const CCommandBarGeneration& g : kGenerations) {
        if (g.generation == generation)
            return &g;
    }
    return nullptr;
}
