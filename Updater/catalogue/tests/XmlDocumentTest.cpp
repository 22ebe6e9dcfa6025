// The generic XML layer, through small element classes of its own that use
// every kind of registration (int, float and string attributes, bound text,
// an embedded child and a child list).
#include "catalogue/MyXMLDocument.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

using MyXML::CMyXMLDocument;
using MyXML::CMyXMLNode;

namespace {

class CItem : public CMyXMLNode {
public:
    CItem() { BindMembers(); }
    void BindMembers() override {
        ClearRegistrations();
        BindString(L"id", id);
        m_pText = &text;
        text.clear();
        m_nTextKind = MyXML::TEXT_NONE;
    }
    std::wstring GetNodeName() const override { return L"item"; }
    CMyXMLNode* CreateNew() const override { return new (std::nothrow) CItem(); }
    std::wstring id;
    std::wstring text;
};

class CInfo : public CMyXMLNode {
public:
    CInfo() { BindMembers(); }
    void BindMembers() override {
        ClearRegistrations();
        BindString(L"z", z);
    }
    std::wstring GetNodeName() const override { return L"info"; }
    CMyXMLNode* CreateNew() const override { return new (std::nothrow) CInfo(); }
    std::wstring z;
};

class CBox : public CMyXMLNode {
public:
    CBox() { BindMembers(); }
    void BindMembers() override {
        ClearRegistrations();
        BindInt(L"count", count);
        BindInt(L"a", a);
        BindFloat(L"ratio", ratio);
        BindString(L"name", name);
        BindString(L"b", b);
        info.BindMembers();
        BindChild(L"info", info);
        BindList(items, new (std::nothrow) CItem());
    }
    std::wstring GetNodeName() const override { return L"box"; }
    CMyXMLNode* CreateNew() const override { return new (std::nothrow) CBox(); }
    int count;
    int a;
    float ratio;
    std::wstring name;
    std::wstring b;
    CInfo info;
    MyXML::CNodeList<CItem> items;
};

TEST(XmlWriting, AttributesByKindThenNameChildrenByNameThenText) {
    CMyXMLDocument doc;
    ASSERT_EQ(0, doc.OpenString(
                     L"<?xml version='1.0'?><!-- note --><box name=\"n\" b='x' ratio='0.5' a='-3' "
                     L"count='12' unknown='u'><item id='2'>two &amp; more</item>"
                     L"<other><item id='1'><![CDATA[<raw> & ]]></item></other>"
                     L"<info z='q'/></box>"));
    CBox box;
    ASSERT_EQ(0, doc.ReadNode(&box));
    EXPECT_EQ(12, box.count);
    EXPECT_EQ(-3, box.a);
    EXPECT_FLOAT_EQ(0.5f, box.ratio);
    ASSERT_EQ(2u, box.items.size());
    EXPECT_EQ(L"two & more", box.items[0]->text);
    EXPECT_EQ(MyXML::TEXT_PLAIN, box.items[0]->m_nTextKind);
    // An item wrapped in an unregistered element still belongs to the box.
    EXPECT_EQ(L"<raw> & ", box.items[1]->text);
    EXPECT_EQ(MyXML::TEXT_CDATA, box.items[1]->m_nTextKind);
    EXPECT_EQ(
        L"<box a='-3' count='12' ratio='0.500000' b='x' name='n'><info z='q'></info>"
        L"<item id='2'>two &amp; more</item><item id='1'><![CDATA[<raw> & ]]></item></box>",
        doc.NodeToString(&box));
}

TEST(XmlReading, ResetsMembersAndKeepsOnlyThePrototypeForAnEmptyList) {
    CMyXMLDocument doc;
    CBox box;
    ASSERT_EQ(0, doc.OpenString(L"<box count='7' name='first'><item id='1'/></box>"));
    ASSERT_EQ(0, doc.ReadNode(&box));
    ASSERT_EQ(1u, box.items.size());
    EXPECT_FALSE(box.items[0]->m_bPrototype);

    // A second read starts from the defaults again.
    ASSERT_EQ(0, doc.OpenString(L"<box ratio='abc' a='12x'></box>"));
    ASSERT_EQ(0, doc.ReadNode(&box));
    EXPECT_EQ(0, box.count);
    EXPECT_EQ(12, box.a);
    EXPECT_EQ(0.0f, box.ratio);
    EXPECT_EQ(L"", box.name);
    ASSERT_EQ(1u, box.items.size());
    EXPECT_TRUE(box.items[0]->m_bPrototype);
    EXPECT_EQ(0u, box.items.RealCount());
    EXPECT_EQ(L"<box a='12' count='0' ratio='0.000000' b='' name=''><info z=''></info></box>",
              doc.NodeToString(&box));
}

TEST(XmlReading, SelfClosingElementYieldsAttributesOnly) {
    CMyXMLDocument doc;
    ASSERT_EQ(0, doc.OpenString(L"<box name='n'/><item id='9'/>"));
    CBox box;
    ASSERT_EQ(0, doc.ReadNode(&box));
    EXPECT_EQ(L"n", box.name);
    EXPECT_EQ(0u, box.items.RealCount());
}

TEST(XmlReading, WantedElementAtAnyDepthAndFailures) {
    CMyXMLDocument doc;
    CItem item;
    EXPECT_EQ(-1, doc.ReadNode(&item));  // nothing open
    EXPECT_EQ(-1, doc.ReadNode(nullptr));

    ASSERT_EQ(0, doc.OpenString(L"<a><b x='1'><item id='deep'>t</item></b></a>"));
    ASSERT_EQ(0, doc.ReadNode(&item));
    EXPECT_EQ(L"deep", item.id);
    EXPECT_EQ(L"t", item.text);

    ASSERT_EQ(0, doc.OpenString(L"<a><b/></a>"));
    EXPECT_EQ(-1, doc.ReadNode(&item));

    // Input that ends inside the element: failure, but what was read stays.
    CBox box;
    ASSERT_EQ(0, doc.OpenString(L"<box name='cut'><item id='1'></item>"));
    EXPECT_EQ(-1, doc.ReadNode(&box));
    EXPECT_EQ(L"cut", box.name);
    EXPECT_EQ(1u, box.items.RealCount());

    ASSERT_EQ(0, doc.OpenString(L""));
    EXPECT_EQ(-1, doc.ReadNode(&box));
}

TEST(XmlWriting, EscapeXmlReplacesFiveCharactersOnce) {
    EXPECT_EQ(L"a&lt;b &amp; &apos;c&apos; &quot;d&quot; &gt;", MyXML::EscapeXml(L"a<b & 'c' \"d\" >"));
    EXPECT_EQ(L"&amp;amp;", MyXML::EscapeXml(L"&amp;"));
    EXPECT_EQ(L"", MyXML::EscapeXml(L""));
}

TEST(XmlText, Utf8ToWideAndNonAscii) {
    EXPECT_EQ(L"", MyXML::Utf8ToWide(nullptr));
    EXPECT_EQ(L"", MyXML::Utf8ToWide(""));
    EXPECT_EQ(L"caf\u00e9 \u20ac", MyXML::Utf8ToWide("caf\xc3\xa9 \xe2\x82\xac"));

    CMyXMLDocument doc;
    CItem item;
    ASSERT_EQ(0, doc.OpenString(L"<item id='\u00e9\u20ac'>\u4e2d</item>"));
    ASSERT_EQ(0, doc.ReadNode(&item));
    EXPECT_EQ(L"\u00e9\u20ac", item.id);
    EXPECT_EQ(L"\u4e2d", item.text);
}

TEST(XmlStringReadCallBack, ReadsInChunksUpToTheEnd) {
    MyXML::CStringReadCallBack cb(L"ab\u00e9");  // 4 UTF-8 bytes
    EXPECT_EQ(4, cb.getSize());
    char buf[8] = {};
    EXPECT_EQ(3, cb.read(buf, 3));
    EXPECT_EQ(0, std::memcmp(buf, "ab\xc3", 3));
    EXPECT_EQ(1, cb.read(buf, 8));
    EXPECT_EQ('\xa9', buf[0]);
    EXPECT_EQ(0, cb.read(buf, 8));
}

TEST(XmlFiles, SaveFileWritesDeclarationWithoutBomAndCopyNodeIsDeep) {
    cattest::ScratchDir dir("xmlfiles");
    CMyXMLDocument doc;
    CBox box;
    ASSERT_EQ(0, doc.OpenString(L"<box name='\u00e9'><item id='1'>x</item></box>"));
    ASSERT_EQ(0, doc.ReadNode(&box));

    std::wstring path = dir.File("box.xml");
    EXPECT_EQ(-1, doc.SaveFile(nullptr, path));
    EXPECT_EQ("<missing>", cattest::ReadBytes(path));
    ASSERT_EQ(0, doc.SaveFile(&box, path));
    EXPECT_EQ(
        "<?xml version='1.0' encoding='UTF-8'?><box a='0' count='0' ratio='0.000000' b='' "
        "name='\xc3\xa9'><info z=''></info><item id='1'>x</item></box>",
        cattest::ReadBytes(path));

    CBox copy;
    ASSERT_TRUE(doc.CopyNode(&box, &copy));
    box.items[0]->id = L"changed";
    EXPECT_EQ(L"1", copy.items[0]->id);
    EXPECT_EQ(L"\u00e9", copy.name);

    // A folder that doesn't exist can't take the file.
    EXPECT_EQ(-1, doc.SaveFile(&box, dir.File("no-such-folder/box.xml")));

    // Missing file: the open works, the read fails.
    CMyXMLDocument other;
    EXPECT_EQ(0, other.OpenFile(dir.File("absent.xml")));
    EXPECT_EQ(-1, other.ReadNode(&copy));
}

}  // namespace
