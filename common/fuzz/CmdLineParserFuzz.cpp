// Arbitrary command lines: the parser must neither fail nor lose track of what
// it stored.
#include "common/CmdLineParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two bytes a UTF-16 code unit, as the programs receive their command lines.
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (c == 0)
            c = L' ';
        text += c;
    }
    for (bool caseSensitive : {true, false}) {
        CCmdLineParser parser(text.c_str(), caseSensitive);
        std::wstring name, value;
        for (auto pos = parser.GetFirstOptionPosition(); !parser.IsEndPosition(pos);) {
            parser.GetNextOption(pos, name, value);
            // Every stored option answers a lookup by its own name, with its value.
            const wchar_t* stored = parser.GetValue(name.c_str());
            if (name.empty() || !stored || value != stored || !parser.HasOption(name.c_str()))
                std::abort();
            if (parser.HasOptionValue(name.c_str()) == value.empty())
                std::abort();
        }
    }
    return 0;
}
