// What the shipped notifier.exe carries besides its code: version, manifest,
// icon and the dialog template of the notification window.
#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

// The bytes of one resource of notifier.exe (empty when missing).
std::string ResourceBytes(const wchar_t* type, const wchar_t* name) {
    return testsupport::ResourceBytes(DistPath(L"notifier.exe"), type, name);
}

// Sequential reader of a dialog template.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : m_bytes(bytes), m_pos(0) {}
    bool Ok() const { return m_pos <= m_bytes.size(); }
    uint16_t Word() { return static_cast<uint16_t>(Take(2)); }
    uint32_t Dword() { return Take(4); }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    // A name or ordinal field: "#n" for an ordinal, "" for none.
    std::wstring NameOrOrdinal() {
        uint16_t first = Word();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        std::wstring text;
        for (uint16_t c = first; c != 0 && Ok(); c = Word())
            text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    void AlignToDword() { m_pos = (m_pos + 3) & ~static_cast<size_t>(3); }
    void Skip(size_t n) { m_pos += n; }

private:
    uint32_t Take(size_t n) {
        uint32_t value = 0;
        if (m_pos + n <= m_bytes.size())
            std::memcpy(&value, m_bytes.data() + m_pos, n);
        m_pos += n;
        return value;
    }
    const std::string& m_bytes;
    size_t m_pos;
};

TEST(NotifierResources, VersionInformation) {
    VersionInfo info;
    ASSERT_TRUE(ReadVersionInfo(DistPath(L"notifier.exe"), info));
    EXPECT_EQ("1.3.0.10", info.fileVersion);
    EXPECT_EQ("1.3.0.10", info.productVersion);
    EXPECT_EQ("Notifier Module", info.description);
    EXPECT_EQ("1, 3, 0, 10", info.versionText);
}

TEST(NotifierResources, ManifestAndIcon) {
    std::string manifest = ResourceBytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\"")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
    EXPECT_NE(std::string::npos, manifest.find("version=\"6.0.0.0\""));
    EXPECT_FALSE(ResourceBytes(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(128)).empty()) << "no icon group 128";
}

TEST(NotifierResources, DialogTemplate) {
    std::string bytes = ResourceBytes(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(129));
    ASSERT_FALSE(bytes.empty());
    TemplateReader r(bytes);
    EXPECT_EQ(1, r.Word());       // extended template
    EXPECT_EQ(0xFFFF, r.Word());
    r.Dword();                    // help id
    EXPECT_EQ(static_cast<DWORD>(WS_EX_TOPMOST | WS_EX_TOOLWINDOW), r.Dword());
    DWORD style = r.Dword();
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_SYSMENU | DS_SETFONT), style) << Hex(style);
    EXPECT_EQ(1, r.Word());       // one control
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(200, r.Short());
    EXPECT_EQ(200, r.Short());
    EXPECT_EQ(L"", r.NameOrOrdinal());  // menu
    EXPECT_EQ(L"", r.NameOrOrdinal());  // class
    EXPECT_EQ(L"", r.NameOrOrdinal());  // caption
    EXPECT_EQ(8, r.Word());       // point size
    r.Word();                     // weight
    r.Skip(2);                    // italic, charset
    EXPECT_EQ("MS Sans Serif", Narrow(r.NameOrOrdinal()));

    r.AlignToDword();
    r.Dword();                    // help id
    r.Dword();                    // extended style
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_TABSTOP), r.Dword());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(200, r.Short());
    EXPECT_EQ(199, r.Short());
    EXPECT_EQ(1000u, r.Dword());
    std::wstring cls = r.NameOrOrdinal();  // class names are case-insensitive; windres upper-cases them
    EXPECT_EQ(0, ::lstrcmpiW(L"AtlAxWin", cls.c_str())) << Narrow(cls);
    EXPECT_EQ("{8856F961-340A-11D0-A96B-00C04FD705A2}", Narrow(r.NameOrOrdinal()));
    EXPECT_TRUE(r.Ok());
}

}  // namespace
