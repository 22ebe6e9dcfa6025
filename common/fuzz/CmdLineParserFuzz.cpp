// Arbitrary command lines: the parser must neither fail nor lose track of what
// it stored. And any text, quoted as one whole argument the way Windows
// programs quote one for the C runtime, comes back as the option's value.
#include "common/CmdLineParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// "-v=<value>" as one argument in double quotes: each quote in the value
// escaped with a backslash, and the backslashes right before a quote (or the
// closing quote) doubled, so that they stay backslashes.
std::wstring QuotedWhole(const std::wstring& value) {
    std::wstring argument = L"\"-v=";
    size_t backslashes = 0;
    for (wchar_t c : value) {
        if (c == L'"')
            argument.append(backslashes + 1, L'\\');
        backslashes = c == L'\\' ? backslashes + 1 : 0;
        argument += c;
    }
    argument.append(backslashes, L'\\');
    return argument + L"\"";
}

}  // namespace

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
    CCmdLineParser quoted((L"-runmode=addproduct " + QuotedWhole(text) + L" -w=1").c_str(), true);
    const wchar_t* value = quoted.GetValue(L"v");
    const wchar_t* runMode = quoted.GetValue(L"runmode");
    const wchar_t* after = quoted.GetValue(L"w");
    if (!value || value != text || !runMode || std::wstring(runMode) != L"addproduct" || !after ||
        std::wstring(after) != L"1")
        std::abort();
    return 0;
}
