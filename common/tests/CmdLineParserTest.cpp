#include "common/CmdLineParser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The value of an option as text, or "<absent>".
std::wstring ValueOf(const CCmdLineParser& p, const wchar_t* name) {
    const wchar_t* v = p.GetValue(name);
    return v ? std::wstring(v) : std::wstring(L"<absent>");
}

size_t CountOptions(const CCmdLineParser& p) {
    size_t n = 0;
    for (auto pos = p.GetFirstOptionPosition(); !p.IsEndPosition(pos); ++pos)
        ++n;
    return n;
}

TEST(CmdLineParser, PrefixesSeparatorsAndQuotes) {
    CCmdLineParser p(L"/runmode:addproduct /info:\"C:\\Temp\\p.xml\"", true);
    EXPECT_EQ(L"addproduct", ValueOf(p, L"runmode"));
    EXPECT_EQ(L"C:\\Temp\\p.xml", ValueOf(p, L"info"));

    CCmdLineParser q(L"-runmode=checkupdate", true);
    EXPECT_EQ(L"checkupdate", ValueOf(q, L"runmode"));
    EXPECT_EQ(1u, CountOptions(q));
}

TEST(CmdLineParser, UnquotedValueEndsAtSpaceOnly) {
    CCmdLineParser p(L"-info=C:\\Program Files\\p.xml", true);
    EXPECT_EQ(L"C:\\Program", ValueOf(p, L"info"));
    EXPECT_EQ(1u, CountOptions(p));

    CCmdLineParser tab(L"-a=x\ty -b=2", true);
    EXPECT_EQ(L"x\ty", ValueOf(tab, L"a"));
    EXPECT_EQ(L"2", ValueOf(tab, L"b"));

    CCmdLineParser inner(L"-a=it's -b=2", true);
    EXPECT_EQ(L"it's", ValueOf(inner, L"a"));
}

TEST(CmdLineParser, PrefixInsideTextStartsAnOption) {
    CCmdLineParser p(L"-name=My Product-X", true);
    EXPECT_EQ(L"My", ValueOf(p, L"name"));
    EXPECT_EQ(L"", ValueOf(p, L"X"));
    EXPECT_EQ(2u, CountOptions(p));

    CCmdLineParser q(L"abc-def=1", true);
    EXPECT_EQ(L"1", ValueOf(q, L"def"));
}

TEST(CmdLineParser, QuotedValueEndsAtItsOwnQuote) {
    CCmdLineParser p(L"-info=\"C:\\Setup files\\Editor's kit\\p.xml\" -runmode=addproduct", true);
    EXPECT_EQ(L"C:\\Setup files\\Editor's kit\\p.xml", ValueOf(p, L"info"));
    EXPECT_EQ(L"addproduct", ValueOf(p, L"runmode"));

    CCmdLineParser single(L"/info:'say \"hi\"' /b:2", true);
    EXPECT_EQ(L"say \"hi\"", ValueOf(single, L"info"));
    EXPECT_EQ(L"2", ValueOf(single, L"b"));

    // An unclosed value takes the rest, the other quote and later options too.
    CCmdLineParser unclosed(L"-a=\"it's -b=1", true);
    EXPECT_EQ(L"it's -b=1", ValueOf(unclosed, L"a"));
    EXPECT_EQ(L"<absent>", ValueOf(unclosed, L"b"));

    CCmdLineParser open(L"-info='C:\\a b", true);
    EXPECT_EQ(L"C:\\a b", ValueOf(open, L"info"));

    CCmdLineParser empty(L"-a=\"\" -b=1", true);
    EXPECT_EQ(L"", ValueOf(empty, L"a"));
    EXPECT_EQ(L"1", ValueOf(empty, L"b"));
}

// Every option of a command line, as "name=value" lines in name order.
std::wstring AllOptions(const CCmdLineParser& p) {
    std::wstring all, name, value;
    for (auto pos = p.GetFirstOptionPosition(); !p.IsEndPosition(pos);) {
        p.GetNextOption(pos, name, value);
        all += name + L"=" + value + L"\n";
    }
    return all;
}

// Arguments quoted whole, as installers and Windows programs quote them, are
// read as the C runtime reads an argument; the forms that came before keep
// their meaning.
TEST(CmdLineParser, ArgumentsQuotedWhole) {
    const struct {
        const wchar_t* commandLine;
        const wchar_t* options;  // AllOptions of it
    } rows[] = {
        {L"\"-info=C:\\Program Files\\Acme\\product.xml\"",
         L"info=C:\\Program Files\\Acme\\product.xml\n"},
        {L"-runmode=addproduct \"-info=C:\\Program Files\\Acme\\product.xml\"",
         L"info=C:\\Program Files\\Acme\\product.xml\nrunmode=addproduct\n"},
        {L"/runmode:addproduct \"/info:C:\\Setup files\\p.xml\"",
         L"info=C:\\Setup files\\p.xml\nrunmode=addproduct\n"},
        // Several, and the first of a name wins as before.
        {L"\"-runmode=addproduct\" \"-info=C:\\a b\\p.xml\" \"-name=Acme Pad\" \"-runmode=x\"",
         L"info=C:\\a b\\p.xml\nname=Acme Pad\nrunmode=addproduct\n"},
        // A backslash before a quote makes it part of the value.
        {L"\"-name=say \\\"hi\\\" twice\" -b=1", L"b=1\nname=say \"hi\" twice\n"},
        // Two quotes inside quotes are one.
        {L"\"-name=say \"\"hi\"\"\"", L"name=say \"hi\"\n"},
        // Quotes around only a part: the argument goes on to the next space.
        {L"\"-info=C:\\Program Files\"\\Acme\\p.xml -b=1",
         L"b=1\ninfo=C:\\Program Files\\Acme\\p.xml\n"},
        {L"\"-info\"=C:\\p.xml", L"info=C:\\p.xml\n"},
        {L"\"-info=C:\\a b\"-b=2", L"info=C:\\a b-b=2\n"},
        // Backslashes: plain unless a quote follows; 2n of them and a quote
        // are n and the closing quote, 2n+1 are n and a quote in the value.
        {L"\"-path=\\\\server\\share\\a b\"", L"path=\\\\server\\share\\a b\n"},
        {L"\"-dir=C:\\My Files\\\\\" -x=1", L"dir=C:\\My Files\\\nx=1\n"},
        {L"\"-dir=C:\\My Files\\\" -x=1", L"dir=C:\\My Files\" -x=1\n"},
        // Empty values and empty arguments.
        {L"\"-info=\" -b=1", L"b=1\ninfo=\n"},
        {L"-a=1 \"\" -b=2", L"a=1\nb=2\n"},
        {L"\"\"", L""},
        {L"\"-=x\" -b=2", L"b=2\n"},
        // An option without a value ends with its argument.
        {L"\"-verysilent\" -runmode=x", L"runmode=x\nverysilent=\n"},
        // An apostrophe is part of the value; a tab ends the argument.
        {L"\"-info=C:\\Bob's files\\p.xml\"", L"info=C:\\Bob's files\\p.xml\n"},
        {L"\"-a=x y\"\t-b=2", L"a=x y\nb=2\n"},
        // Unclosed: the rest of the text.
        {L"\"-info=C:\\a b -c=1", L"info=C:\\a b -c=1\n"},
        // Only a quote at the start of a word opens an argument: not one
        // inside a word, not the closing quote of a value, not an apostrophe.
        {L"x\"-a=1 2\"", L"a=1\n"},
        {L"-a=\" \"-b=1", L"a= \nb=1\n"},
        {L"'-info=C:\\a b'", L"info=C:\\a\n"},
        // The forms before: a quoted value, and an unquoted one up to a space.
        {L"-info=\"C:\\Program Files\\p.xml\"", L"info=C:\\Program Files\\p.xml\n"},
        {L"-info=C:\\Program Files\\p.xml", L"info=C:\\Program\n"},
    };
    for (const auto& row : rows) {
        CCmdLineParser p(row.commandLine, true);
        EXPECT_EQ(std::wstring(row.options), AllOptions(p)) << "command line: " << row.commandLine;
    }
}

TEST(CmdLineParser, OptionWithoutSeparatorSwallowsTheNext) {
    CCmdLineParser p(L"-verysilent -runmode=x", true);
    EXPECT_EQ(L"<absent>", ValueOf(p, L"runmode"));
    EXPECT_EQ(L"x", ValueOf(p, L"verysilent -runmode"));

    CCmdLineParser trailing(L"-verysilent ", true);
    EXPECT_FALSE(trailing.HasOption(L"verysilent"));
    EXPECT_TRUE(trailing.HasOption(L"verysilent "));
}

TEST(CmdLineParser, EmptyValuesAndNames) {
    CCmdLineParser p(L"-key=", true);
    ASSERT_NE(nullptr, p.GetValue(L"key"));
    EXPECT_EQ(L"", ValueOf(p, L"key"));
    EXPECT_TRUE(p.HasOption(L"key"));
    EXPECT_FALSE(p.HasOptionValue(L"key"));

    CCmdLineParser noName(L"-=x -b=2", true);
    EXPECT_EQ(1u, CountOptions(noName));
    EXPECT_EQ(L"2", ValueOf(noName, L"b"));

    CCmdLineParser bare(L"-", true);
    EXPECT_EQ(0u, CountOptions(bare));
    CCmdLineParser sepOnly(L"-=", true);
    EXPECT_EQ(0u, CountOptions(sepOnly));
}

TEST(CmdLineParser, FirstOccurrenceWins) {
    CCmdLineParser p(L"-runmode=addtask -runmode=deltask", true);
    EXPECT_EQ(L"addtask", ValueOf(p, L"runmode"));
}

TEST(CmdLineParser, CaseSensitivity) {
    CCmdLineParser exact(L"-RunMode=checkupdate", true);
    EXPECT_EQ(L"<absent>", ValueOf(exact, L"runmode"));
    EXPECT_EQ(L"checkupdate", ValueOf(exact, L"RunMode"));

    CCmdLineParser folded(L"-RunMode=checkupdate", false);
    EXPECT_EQ(L"checkupdate", ValueOf(folded, L"runmode"));
    EXPECT_EQ(L"checkupdate", ValueOf(folded, L"RUNMODE"));
    auto pos = folded.GetFirstOptionPosition();
    std::wstring name, value;
    folded.GetNextOption(pos, name, value);
    EXPECT_EQ(L"runmode", name);
}

TEST(CmdLineParser, NullTextAndReparse) {
    CCmdLineParser p(nullptr, true);
    EXPECT_EQ(0u, CountOptions(p));
    EXPECT_FALSE(p.HasOption(L"runmode"));

    p.Parse(L"-a=1");
    p.Parse(nullptr);  // keeps the previous options
    EXPECT_EQ(L"1", ValueOf(p, L"a"));
    p.Parse(L"-b=2");
    EXPECT_EQ(L"<absent>", ValueOf(p, L"a"));
    EXPECT_EQ(L"-b=2", p.GetCmdLine());
}

TEST(CmdLineParser, IterationAndTryGet) {
    CCmdLineParser p(L"-b=2 -a=1", true);
    auto pos = p.GetFirstOptionPosition();
    std::wstring name, value = L"keep";
    p.GetNextOption(pos, name, value);
    EXPECT_EQ(L"a", name);
    EXPECT_EQ(L"1", value);
    p.GetNextOption(pos, name, value);
    EXPECT_EQ(L"b", name);
    p.GetNextOption(pos, name, value);
    EXPECT_EQ(L"", name);
    EXPECT_EQ(L"2", value);  // untouched at the end

    std::wstring out = L"untouched";
    EXPECT_FALSE(p.TryGetValue(L"c", out));
    EXPECT_EQ(L"untouched", out);
    EXPECT_TRUE(p.TryGetValue(L"b", out));
    EXPECT_EQ(L"2", out);
}

}  // namespace
