#include "notifier/NotifierCommand.h"
#include "notifier/WindowPlacement.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::wstring> Args;

CNotifierCommand Parsed(const std::wstring& address) {
    CNotifierCommand command;
    EXPECT_TRUE(ParseNotifierCommand(address, command)) << std::string(address.begin(), address.end());
    return command;
}

TEST(NotifierCommand, SplitsNameAndArguments) {
    CNotifierCommand c = Parsed(L"command:external|http://example.com/a?b=1|second");
    EXPECT_EQ(L"external", c.name);
    EXPECT_EQ((Args{L"http://example.com/a?b=1", L"second"}), c.arguments);

    c = Parsed(L"command:close");
    EXPECT_EQ(L"close", c.name);
    EXPECT_TRUE(c.arguments.empty());
}

TEST(NotifierCommand, DoubledLeadingAndTrailingBarsAreIgnored) {
    CNotifierCommand single = Parsed(L"command:close|a|b");
    for (const wchar_t* address : {L"command:close|a||b|", L"command:|close|||a|b||", L"command:||close|a|b"}) {
        CNotifierCommand c = Parsed(address);
        EXPECT_EQ(single.name, c.name);
        EXPECT_EQ(single.arguments, c.arguments);
    }
}

TEST(NotifierCommand, NoFieldGivesEmptyName) {
    for (const wchar_t* address : {L"command:", L"command:|", L"command:|||"}) {
        CNotifierCommand c = Parsed(address);
        EXPECT_EQ(L"", c.name);
        EXPECT_TRUE(c.arguments.empty());
        EXPECT_EQ(NotifierAction::None, ChooseNotifierAction(c));
    }
}

TEST(NotifierCommand, PrefixMustMatchExactly) {
    CNotifierCommand untouched;
    untouched.name = L"keep";
    untouched.arguments.push_back(L"me");
    for (const wchar_t* address : {L"Command:close", L"COMMAND:close", L"command", L"comman",
                                   L" command:close", L"commandclose", L"file:///c:/whatsnew.xml", L""}) {
        CNotifierCommand c = untouched;
        EXPECT_FALSE(ParseNotifierCommand(address, c)) << std::string(address, address + wcslen(address));
        EXPECT_EQ(L"keep", c.name);
        EXPECT_EQ(Args{L"me"}, c.arguments);
    }
}

TEST(NotifierCommand, ParsingReplacesEarlierContent) {
    CNotifierCommand c;
    c.name = L"old";
    c.arguments.push_back(L"stale");
    ASSERT_TRUE(ParseNotifierCommand(L"command:", c));
    EXPECT_EQ(L"", c.name);
    EXPECT_TRUE(c.arguments.empty());
}

TEST(NotifierCommand, ActionsFollowTheNameExactly) {
    EXPECT_EQ(NotifierAction::Close, ChooseNotifierAction(Parsed(L"command:close")));
    EXPECT_EQ(NotifierAction::Close, ChooseNotifierAction(Parsed(L"command:close|ignored")));
    EXPECT_EQ(NotifierAction::OpenExternal, ChooseNotifierAction(Parsed(L"command:external|http://a.example/")));
    // "external" without an argument only cancels the navigation.
    EXPECT_EQ(NotifierAction::None, ChooseNotifierAction(Parsed(L"command:external")));
    EXPECT_EQ(NotifierAction::None, ChooseNotifierAction(Parsed(L"command:external||")));
    for (const wchar_t* address : {L"command:Close", L"command:CLOSE", L"command:close ", L"command:External|x",
                                   L"command:open|x", L"command:closed"})
        EXPECT_EQ(NotifierAction::None, ChooseNotifierAction(Parsed(address)));
}

TEST(NotifierCommand, ExternalOpensOnlyWebAddresses) {
    for (const wchar_t* address : {L"command:external|https://example.com/notes?a=1#b",
                                   L"command:external|HTTP://EXAMPLE.COM/", L"command:external|hTtPs://a.example|x"})
        EXPECT_EQ(NotifierAction::OpenExternal, ChooseNotifierAction(Parsed(address)))
            << std::string(address, address + wcslen(address));
    // Programs, files, shares, other schemes and web addresses without a
    // host only cancel the navigation.
    for (const wchar_t* address :
         {L"command:external|C:\\Windows\\notepad.exe", L"command:external|file:///C:/Windows/notepad.exe",
          L"command:external|FILE://C:/x.exe", L"command:external|\\\\server\\share\\setup.exe",
          L"command:external|//server/share/setup.exe", L"command:external|ftp://a.example/",
          L"command:external|javascript:alert(1)", L"command:external|shell:startup",
          L"command:external|httpx://a.example/", L"command:external|http:/a.example/",
          L"command:external|http:///C:/x.exe", L"command:external|https://",
          L"command:external|http://\\\\server\\x.exe", L"command:external|http://a b.example/",
          L"command:external|http://a.example/\n", L"command:external|x|https://a.example/"})
        EXPECT_EQ(NotifierAction::None, ChooseNotifierAction(Parsed(address)))
            << std::string(address, address + wcslen(address));
}

TEST(WindowPlacement, BottomRightOfTheWorkArea) {
    // Taskbar at the bottom of a 1920 x 1080 screen.
    CWindowPosition p = BottomRightPosition(CWorkArea{0, 0, 1920, 1040}, 300, 325);
    EXPECT_EQ(1620, p.x);
    EXPECT_EQ(715, p.y);

    // Taskbar at the right.
    p = BottomRightPosition(CWorkArea{0, 0, 1860, 1080}, 300, 325);
    EXPECT_EQ(1560, p.x);
    EXPECT_EQ(755, p.y);

    // Taskbar at the top or the left: the corner is still the screen's.
    p = BottomRightPosition(CWorkArea{0, 40, 1920, 1080}, 300, 325);
    EXPECT_EQ(1620, p.x);
    EXPECT_EQ(755, p.y);
    p = BottomRightPosition(CWorkArea{60, 0, 1920, 1080}, 300, 325);
    EXPECT_EQ(1620, p.x);
    EXPECT_EQ(755, p.y);

    // A window as large as the work area fills it.
    p = BottomRightPosition(CWorkArea{0, 0, 1024, 768}, 1024, 768);
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(0, p.y);
}

}  // namespace
