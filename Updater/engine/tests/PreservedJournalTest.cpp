#include "engine/PreservedJournal.h"

#include <gtest/gtest.h>

namespace {

CJournal Sample() {
    CJournal journal;
    journal.intname = L"Pad Pro \u00E9";
    CJournalValue text;
    text.root = L"HKCU";
    text.key = L"Software\\Pad Pro\\with space";
    text.name = L"";  // the default value
    text.existed = true;
    text.type = 1;
    text.data = {'h', 0, 'i', 0, 0, 0};
    CJournalValue binary;
    binary.root = L"HKLM";
    binary.key = L"Software\\Pad";
    binary.name = L"end\nline \\ ";
    binary.existed = true;
    binary.type = 3;
    binary.data = {0, 0xFF, 0x0A, 0x20};
    CJournalValue empty = binary;
    empty.type = 4294967295u;
    empty.data.clear();
    CJournalValue absent;
    absent.root = L"HKCU";
    absent.key = L"Software\\Pad";
    absent.name = L"never there";
    journal.values = {text, binary, empty, absent};
    return journal;
}

TEST(PreservedJournal, EveryValueComesBackAsWritten) {
    const CJournal written = Sample();
    CJournal read;
    ASSERT_TRUE(ParseJournal(FormatJournal(written), read));
    EXPECT_EQ(written.intname, read.intname);
    ASSERT_EQ(written.values.size(), read.values.size());
    for (size_t i = 0; i < read.values.size(); ++i) {
        const CJournalValue& a = written.values[i];
        const CJournalValue& b = read.values[i];
        EXPECT_EQ(a.root, b.root) << i;
        EXPECT_EQ(a.key, b.key) << i;
        EXPECT_EQ(a.name, b.name) << i;
        EXPECT_EQ(a.existed, b.existed) << i;
        EXPECT_EQ(a.type, b.type) << i;
        EXPECT_EQ(a.data, b.data) << i;
    }
}

TEST(PreservedJournal, DamagedOrCutShortIsRefused) {
    const std::string text = FormatJournal(Sample());
    CJournal untouched;
    untouched.intname = L"untouched";
    // Every cut, however short, loses at least the closing line end.
    for (size_t length = 0; length < text.size(); ++length)
        EXPECT_FALSE(ParseJournal(text.substr(0, length), untouched)) << length;
    for (const std::string& bad :
         {text + "x", "X" + text.substr(1), text.substr(0, text.find("HKLM")) + "HKEY" +
                                                text.substr(text.find("HKLM") + 4)})
        EXPECT_FALSE(ParseJournal(bad, untouched));
    EXPECT_EQ(L"untouched", untouched.intname);
}

TEST(PreservedJournal, FileNamesArePlainAndDifferPerProduct) {
    EXPECT_EQ(JournalFileName(L"pad"), JournalFileName(L"pad"));
    EXPECT_NE(JournalFileName(L"pad"), JournalFileName(L"Pad"));
    const std::wstring name = JournalFileName(L"..\\a/b:c");
    EXPECT_EQ(0u, name.find(L"PreservedValues-"));
    EXPECT_EQ(std::wstring(L"PreservedValues-").size() + 16 + 8, name.size());
    EXPECT_EQ(std::wstring::npos, name.find_first_of(L"\\/:"));
}

}  // namespace
