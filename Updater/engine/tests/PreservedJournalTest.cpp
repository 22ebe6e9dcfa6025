#include "engine/preserved/JournalFormat.h"

#include <gtest/gtest.h>

namespace {

CPreservedValue Value(const wchar_t* root, const wchar_t* key, const wchar_t* name, bool existed,
                      unsigned long type, std::vector<unsigned char> data) {
    CPreservedValue v;
    v.root = root, v.key = key, v.name = name, v.existed = existed, v.type = type, v.data = data;
    return v;
}

// Names with spaces, line ends and backslashes, the default value, binary
// data with zeros, an empty value of the largest type and an absent value.
const CJournal kSample = {L"Pad Pro \u00E9",
                          {Value(L"HKCU", L"Software\\Pad Pro", L"", true, 1, {'h', 0, 0, 0}),
                           Value(L"HKLM", L"Software\\Pad", L"end\nline \\ ", true, 3, {0, 0xFF, 0x20}),
                           Value(L"HKLM", L"Software\\Pad", L"empty", true, 4294967295u, {}),
                           Value(L"HKCU", L"Software\\Pad", L"never there", false, 0, {})}};

TEST(PreservedJournal, ComesBackWholeOrNotAtAll) {
    const std::string text = FormatJournal(kSample);
    CJournal read;
    ASSERT_TRUE(ParseJournal(text, read));
    EXPECT_EQ(kSample.intname, read.intname);
    ASSERT_EQ(kSample.values.size(), read.values.size());
    for (size_t i = 0; i < read.values.size(); ++i) {
        const CPreservedValue &a = kSample.values[i], &b = read.values[i];
        EXPECT_TRUE(a.root == b.root && a.key == b.key && a.name == b.name &&
                    a.existed == b.existed && a.type == b.type && a.data == b.data) << i;
    }
    // Every cut, however short, loses at least the closing line end.
    for (size_t length = 0; length < text.size(); ++length)
        EXPECT_FALSE(ParseJournal(text.substr(0, length), read)) << length;
    const size_t root = text.find("HKLM");
    for (const std::string& bad : {text + "x", text.substr(0, root) + "HKEY" + text.substr(root + 4)})
        EXPECT_FALSE(ParseJournal(bad, read)) << bad;
    EXPECT_EQ(kSample.intname, read.intname);  // untouched by the refusals
}

// Journals an older Updater left must still be found under these names.
TEST(PreservedJournal, FileNamesStayAsWritten) {
    const struct {
        const wchar_t* intname;
        const wchar_t* file;
    } cases[] = {
        {L"", L"PreservedValues-cbf29ce484222325.journal"},
        {L"pad", L"PreservedValues-91a3459ec47ba3f8.journal"},
        {L"Pad Pro \u00E9", L"PreservedValues-f733f48eb3c15bbc.journal"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(c.file), JournalFileName(c.intname));
}

}  // namespace
