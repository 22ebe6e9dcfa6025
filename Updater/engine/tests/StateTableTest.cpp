#include "engine/StateTable.h"

#include "system/FileRead.h"
#include "system/FileWrite.h"
#include "system/TextCodec.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// Two fields, the second a name that must not be empty.
bool NamedRow(const StateRow& row) { return !row[1].empty(); }

std::string Rows(const std::vector<StateRow>& rows) {
    std::string text;
    for (const StateRow& row : rows) {
        for (const std::wstring& field : row)
            text += "[" + WideToUtf8(field) + "]";
        text += ";";
    }
    return text;
}

TEST(StateTable, LinesAreReadOnlyWhenWhole) {
    const struct {
        const char* bytes;
        bool whole;
        const char* rows;
    } kCases[] = {
        {"", true, ""},
        {"1\tpad\r\n", true, "[1][pad];"},
        {"1\tpad\r\n\tnotes-\xC3\xA9\r\n", true, "[1][pad];[][notes-\xC3\xA9];"},
        {"1\tpad\r\n2\tpad", false, "[1][pad];"},             // cut short
        {"1\tpad\n2\tpen\r\n", false, ""},                    // a bare line feed
        {"1\tpad\r\n2\t\r\n3\tpen\r\n", false, "[1][pad];[3][pen];"},  // no name
        {"1\tpad\textra\r\n4\tink\r\n", false, "[4][ink];"},  // a field too many
        {"1\r\n", false, ""},
        {"1\tp\xFF" "d\r\n", false, ""},                      // not UTF-8
        {"\xEF\xBB\xBF" "1\tpad\r\n", true, "[\xEF\xBB\xBF" "1][pad];"},
    };
    for (const auto& c : kCases) {
        std::vector<StateRow> rows(1, StateRow(2, L"stale"));
        EXPECT_EQ(c.whole, ParseStateRows(c.bytes, 2, NamedRow, rows)) << c.bytes;
        EXPECT_EQ(c.rows, Rows(rows)) << c.bytes;
    }
}

TEST(StateTable, FieldsThatWouldBreakALineAreNeverWritten) {
    std::string bytes = "untouched";
    for (const wchar_t* field : {L"a\tb", L"a\rb", L"a\nb"}) {
        EXPECT_FALSE(FitsStateField(field));
        EXPECT_FALSE(FormatStateRows({{L"1", field}}, bytes));
        EXPECT_EQ("untouched", bytes);
    }
    ASSERT_TRUE(FormatStateRows({{L"1", L"pad"}, {L"", L"notes-\u00E9"}}, bytes));
    EXPECT_EQ("1\tpad\r\n\tnotes-\xC3\xA9\r\n", bytes);
    std::vector<StateRow> rows;
    EXPECT_TRUE(ParseStateRows(bytes, 2, NamedRow, rows));
    EXPECT_EQ("[1][pad];[][notes-\xC3\xA9];", Rows(rows));
}

class StateFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() / "qm-state-table";
        std::error_code ec;
        fs::remove_all(m_folder, ec);
        fs::create_directories(m_folder, ec);
        m_path = (m_folder / "Counts.txt").wstring();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
    std::string Read(const std::wstring& path) {
        std::string bytes;
        return ReadFileIfPresent(path, bytes) == FileReadResult::kRead ? bytes : "<none>";
    }

    fs::path m_folder;
    std::wstring m_path;
};

TEST_F(StateFile, ADamagedFileIsKeptAsideBeforeItIsRepaired) {
    ASSERT_TRUE(WriteFileDurably(m_path, "1\tpad\r\n2\t\r\n3\tpen"));
    CStateTable table(m_path, 2, NamedRow);
    EXPECT_EQ(CStateTable::kRepaired, table.GetState());
    EXPECT_EQ("[1][pad];", Rows(table.Rows()));
    EXPECT_EQ("1\tpad\r\n2\t\r\n3\tpen", Read(DamagedStatePath(m_path)));
    EXPECT_EQ("1\tpad\r\n", Read(m_path));
    table.Rows().push_back({L"4", L"ink"});
    table.Rows().push_back({L"5", L"pad"});
    EXPECT_TRUE(table.RemoveRows(1, L"pad"));
    EXPECT_FALSE(table.RemoveRows(1, L"pad"));
    EXPECT_TRUE(table.Save());
    EXPECT_EQ("4\tink\r\n", Read(m_path));
}

TEST_F(StateFile, WhatCantBeKeptAsideIsNeitherRepairedNorWrittenOver) {
    const std::string damaged = "1\tpad\r\n2\t\r\n";
    ASSERT_TRUE(WriteFileDurably(m_path, damaged));
    // A folder where the set-aside copy would go.
    fs::create_directories(fs::path(DamagedStatePath(m_path)) / "held");
    CStateTable table(m_path, 2, NamedRow);
    EXPECT_EQ(CStateTable::kUnusable, table.GetState());
    EXPECT_TRUE(table.Rows().empty());
    table.Rows().push_back({L"5", L"pen"});
    EXPECT_FALSE(table.Save());
    EXPECT_EQ(damaged, Read(m_path));
}

TEST_F(StateFile, AbsentUnreadableAndPathlessFiles) {
    CStateTable absent(m_path, 2, NamedRow);
    EXPECT_EQ(CStateTable::kAbsent, absent.GetState());
    absent.Rows().push_back({L"1", L"pad"});
    EXPECT_TRUE(absent.Save());
    EXPECT_EQ("1\tpad\r\n", Read(m_path));
    CStateTable whole(m_path, 2, NamedRow);
    EXPECT_EQ(CStateTable::kWhole, whole.GetState());
    // Nothing left: no file.
    whole.Rows().clear();
    EXPECT_TRUE(whole.Save());
    EXPECT_EQ("<none>", Read(m_path));
    EXPECT_TRUE(whole.Save());

    // A folder in the file's place can't be read, so nothing is known.
    const std::wstring folder = (m_folder / "Folder.txt").wstring();
    fs::create_directories(fs::path(folder));
    CStateTable unreadable(folder, 2, NamedRow);
    EXPECT_EQ(CStateTable::kUnusable, unreadable.GetState());
    EXPECT_FALSE(unreadable.Save());

    CStateTable nowhere(L"", 2, NamedRow);
    EXPECT_EQ(CStateTable::kUnusable, nowhere.GetState());
    EXPECT_FALSE(nowhere.Save());
}

}  // namespace
