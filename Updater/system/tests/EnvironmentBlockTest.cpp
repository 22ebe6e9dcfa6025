#include "system/EnvironmentBlock.h"

#include <gtest/gtest.h>

namespace {

// A block from its variables.
std::vector<wchar_t> Block(std::initializer_list<const wchar_t*> variables) {
    std::vector<wchar_t> block;
    for (const wchar_t* v : variables) {
        block.insert(block.end(), v, v + std::wcslen(v));
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

TEST(EnvironmentBlock, TempAndTmpNameTheFolderAndTheRestStays) {
    const std::wstring folder = L"C:\\Temp\\0a1b\\temp";
    const struct {
        std::vector<wchar_t> in, out;
    } cases[] = {
        {Block({L"=C:=C:\\w", L"PATH=C:\\bin", L"temp=C:\\Users\\u\\Temp", L"TMP=C:\\x",
                L"USERNAME=u"}),
         Block({L"=C:=C:\\w", L"PATH=C:\\bin", L"TEMP=C:\\Temp\\0a1b\\temp",
                L"TMP=C:\\Temp\\0a1b\\temp", L"USERNAME=u"})},
        // Absent ones are added in the order of names; names that only begin
        // alike stay.
        {Block({L"A=1", L"TEMPLATE=t", L"TMPDIR=d", L"Z=2"}),
         Block({L"A=1", L"TEMP=C:\\Temp\\0a1b\\temp", L"TEMPLATE=t", L"TMP=C:\\Temp\\0a1b\\temp",
                L"TMPDIR=d", L"Z=2"})},
        // Every copy of them goes, wherever it stands.
        {Block({L"Tmp=1", L"B=2", L"TEMP=3", L"TMP=4"}),
         Block({L"B=2", L"TEMP=C:\\Temp\\0a1b\\temp", L"TMP=C:\\Temp\\0a1b\\temp"})},
        {Block({}), Block({L"TEMP=C:\\Temp\\0a1b\\temp", L"TMP=C:\\Temp\\0a1b\\temp"})},
    };
    // Compared as text, so that a failure shows the blocks.
    for (const auto& c : cases) {
        std::vector<wchar_t> got = EnvironmentWithTempFolder(c.in.data(), folder);
        EXPECT_EQ(std::wstring(c.out.begin(), c.out.end()), std::wstring(got.begin(), got.end()));
    }
    EXPECT_EQ(Block({L"TEMP=f", L"TMP=f"}), EnvironmentWithTempFolder(nullptr, L"f"));
}

}  // namespace
