// Malformed documents must never make the parser read outside its text (the
// host build runs this under AddressSanitizer), and well-formed ones must
// reach the parser unchanged.
#include "catalogue/MyXMLDocument.h"
#include "catalogue/ParserInput.h"
#include "catalogue/Product.h"

#include <gtest/gtest.h>

#include <string>

using MyXML::PrepareParserInput;

namespace {

const std::string kDocument =
    "<?xml version='1.0' encoding='UTF-8'?><!-- comment <with> brackets -->"
    "<products><product intname='a' version=\"1\"><![CDATA[x]]>"
    "<registryactions><key action='delete' root='HKLM' key='S'/></registryactions>"
    "<unistallactions><action type='kill' file='a.exe'></action></unistallactions>"
    "</product><product intname='b' /></products>";

// Reads products from raw bytes the way OpenFile hands them to the parser.
int ReadProducts(const std::string& bytes, CProducts& products) {
    MyXML::CMyXMLDocument doc;
    // OpenString takes wide text; bytes here are ASCII.
    if (doc.OpenString(std::wstring(bytes.begin(), bytes.end())) != 0)
        return -2;
    return doc.ReadNode(&products);
}

TEST(ParserInput, WellFormedDocumentsPassUnchanged) {
    EXPECT_EQ(kDocument, PrepareParserInput(kDocument));
    EXPECT_EQ(kDocument, PrepareParserInput("\xEF\xBB\xBF" + kDocument));
    EXPECT_EQ("", PrepareParserInput(""));
    EXPECT_EQ("plain text", PrepareParserInput("plain text"));
    // Text after a terminator is never seen by the parser.
    EXPECT_EQ("<a></a>", PrepareParserInput(std::string("<a></a>\0<b", 10)));
    // UTF-16 documents are narrowed as the parser itself narrows them.
    std::string utf16le("\xFF\xFE", 2);
    for (char c : std::string("<a x='1'/>")) {
        utf16le += c;
        utf16le += '\0';
    }
    EXPECT_EQ("<a x='1'/>", PrepareParserInput(utf16le));
    // What is left after a mark never passes for another mark.
    EXPECT_EQ("\xEF\xBB\xBF\xFF\xFE<a/>", PrepareParserInput("\xEF\xBB\xBF\xFF\xFE<a/>"));
    EXPECT_EQ("\xEF\xBB\xBF\xEF\xBB\xBF<a/>",
              PrepareParserInput("\xEF\xBB\xBF\xEF\xBB\xBF<a/>"));
}

TEST(ParserInput, UnsafeConstructsAreCutBeforeTheirStart) {
    EXPECT_EQ("<a>", PrepareParserInput("<a><b"));
    EXPECT_EQ("<a>", PrepareParserInput("<a></a"));
    EXPECT_EQ("<a>", PrepareParserInput("<a><?xml version"));
    EXPECT_EQ("<a>", PrepareParserInput("<a><!-- open"));
    EXPECT_EQ("<a>", PrepareParserInput("<a><!>"));
    EXPECT_EQ("<a>", PrepareParserInput("<a><!-->"));
    EXPECT_EQ("<a>", PrepareParserInput("<a><![CDATA]]>"));
    EXPECT_EQ("<a>", PrepareParserInput("<a><b c"));
    EXPECT_EQ("<a>", PrepareParserInput("<a><"));
    // Where the parser itself stops at the end, the text stays.
    EXPECT_EQ("<a><b c='x", PrepareParserInput("<a><b c='x"));
    EXPECT_EQ("<a><![CDATA[x", PrepareParserInput("<a><![CDATA[x"));
}

TEST(ParserInput, OneCharacterAfterTheLastEntityIsKept) {
    // The parser alone reads 'AT&amp;T' as "AT&".
    for (const wchar_t* value : {L"AT&T", L"a&b", L"&x", L"x&", L"&&", L"<>", L"a<b & 'c'", L"&amp;"}) {
        CProducts products;
        CProduct* p = new CProduct();
        p->intname = value;
        products.m_Products.push_back(p);
        MyXML::CMyXMLDocument doc;
        CProducts back;
        ASSERT_TRUE(doc.CopyNode(&products, &back));
        ASSERT_EQ(1u, back.m_Products.RealCount());
        EXPECT_EQ(std::wstring(value), back.m_Products[0]->intname);
    }
    // A guard character in the input can't pass for the guard.
    CProducts products;
    ASSERT_EQ(0, ReadProducts("<products><product intname='a&amp;\x01\x01'/></products>",
                              products));
    EXPECT_EQ(L"a&??", products.m_Products[0]->intname);
    EXPECT_EQ("<a b='&amp;\x01\x01'>x&lt;\x01\x01</a>", PrepareParserInput("<a b='&amp;'>x&lt;</a>"));
}

TEST(ParserInput, EveryTruncationOfAProductsFileReadsSafely) {
    for (size_t len = 0; len < kDocument.size(); ++len) {
        CProducts products;
        EXPECT_EQ(-1, ReadProducts(kDocument.substr(0, len), products)) << len;
    }
    CProducts products;
    ASSERT_EQ(0, ReadProducts(kDocument, products));
    EXPECT_EQ(2u, products.m_Products.RealCount());
}

TEST(ParserInput, HostileFragmentsReadSafely) {
    const char* fragments[] = {
        "<", "<<", "<!", "<![", "<![C", "<!-", "<?", "</", "<a", "<a b", "<a b=", "<a b='",
        "<a/", "<a /", "<a b='1'/", "<!>>>>", "<![CDATA[]]>", "<![CDATA[]]", "<!---->",
        "<a b c d>", "<a =''>", "<a b=x>", "<a b='1' c=\"2>", "&amp", "<a>&</a>", "<a>&lt</a>",
        "<products><product intname='&amp;&lt;&gt;&quot;&apos;&'></products>",
    };
    for (const char* f : fragments) {
        for (const char* wrap : {"", "<products>", "<products><product>"}) {
            CProducts products;
            ReadProducts(std::string(wrap) + f, products);
            ReadProducts(std::string(wrap) + f + "</products>", products);
        }
    }
    SUCCEED();  // under the sanitizers, reaching this point is the test
}

}  // namespace
