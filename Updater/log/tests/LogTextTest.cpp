#include "log/LogText.h"

#include <gtest/gtest.h>

namespace {

TEST(LogText, ControlCharactersAndLineSeparatorsBecomeQuestionMarks) {
    const struct {
        std::wstring in, out;
    } cases[] = {
        {L"1.2", L"1.2"},
        {L"", L""},
        {L"2.0\r\n01-01-2030 00:00:00\t Got new one!", L"2.0??01-01-2030 00:00:00? Got new one!"},
        {std::wstring(L"a\0b", 3), L"a?b"},
        {L"\x1b[31m\x7f", L"?[31m?"},
        {L"x\x85y\x9fz\xa0", L"x?y?z\xa0"},  // C1 controls; no-break space stays
        {L"p\x2028q\x2029r", L"p?q?r"},
        {L"caf\xe9 \x4e2d", L"caf\xe9 \x4e2d"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.out, ForLog(c.in)) << c.out.size();
}

}  // namespace
