// Products files, product descriptions and update manifests through the
// element classes, read from and written to real files.
#include "catalogue/MyXMLDocument.h"
#include "catalogue/Product.h"
#include "catalogue/Update.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

using MyXML::CMyXMLDocument;

namespace {

const char kDecl[] = "<?xml version='1.0' encoding='UTF-8'?>";

// A products file as an installer or a person might write it: attributes in
// any order, white space, a comment, values before keys, unknown attributes.
const char kLooseProducts[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<!-- registered products -->\r\n"
    "<products>\r\n"
    "  <product version=\"1.2.3\" intname=\"alpha\" needadmin=\"yes\" extra=\"dropped\"\r\n"
    "           friendlyname=\"Alpha &amp; Co\" productdir=\"C:\\Program Files\\Alpha\"\r\n"
    "           updateurl=\"http://u.example/a?id={updaterguid}\" uninstall=\"C:\\a\\unins.exe\">\r\n"
    "    <unistallactions>\r\n"
    "      <action type=\"kill\" file=\"alpha.exe\"/>\r\n"
    "      <action param=\"/s\" type=\"run\" file=\"clean.exe\"/>\r\n"
    "    </unistallactions>\r\n"
    "    <registryactions>\r\n"
    "      <value root=\"HKCU\" action=\"preserve\" key=\"Software\\Alpha\" name=\"Token\"/>\r\n"
    "      <key root=\"HKLM\" action=\"delete\" key=\"Software\\Alpha\\Cache\"/>\r\n"
    "      <value root=\"HKCU\" action=\"delete\" key=\"Software\\Alpha\" name=\"\"/>\r\n"
    "    </registryactions>\r\n"
    "  </product>\r\n"
    "  <product intname=\"beta\" version=\"2.0\"/>\r\n"
    "</products>\r\n";

const char kNormalProducts[] =
    "<?xml version='1.0' encoding='UTF-8'?><products>"
    "<product friendlyname='Alpha &amp; Co' intname='alpha' needadmin='yes' "
    "productdir='C:\\Program Files\\Alpha' uninstall='C:\\a\\unins.exe' "
    "updateurl='http://u.example/a?id={updaterguid}' version='1.2.3'>"
    "<registryactions>"
    "<key action='delete' key='Software\\Alpha\\Cache' root='HKLM'></key>"
    "<value action='preserve' key='Software\\Alpha' name='Token' root='HKCU'></value>"
    "<value action='delete' key='Software\\Alpha' name='' root='HKCU'></value>"
    "</registryactions>"
    "<unistallactions>"
    "<action file='alpha.exe' param='' type='kill'></action>"
    "<action file='clean.exe' param='/s' type='run'></action>"
    "</unistallactions>"
    "</product>"
    "<product friendlyname='' intname='beta' needadmin='' productdir='' uninstall='' "
    "updateurl='' version='2.0'>"
    "<registryactions></registryactions><unistallactions></unistallactions>"
    "</product></products>";

TEST(ProductsFile, ReadAndSaveGivesTheNormalisedFormByteForByte) {
    cattest::ScratchDir dir("normal");
    std::wstring in = dir.File("in.xml");
    std::wstring out = dir.File("out.xml");
    ASSERT_TRUE(cattest::WriteBytes(in, kLooseProducts));

    CMyXMLDocument doc;
    ASSERT_EQ(0, doc.OpenFile(in));
    CProducts products;
    ASSERT_EQ(0, doc.ReadNode(&products));
    ASSERT_EQ(2u, products.m_Products.size());
    const CProduct& alpha = *products.m_Products[0];
    EXPECT_EQ(L"Alpha & Co", alpha.friendlyname);
    EXPECT_EQ(L"C:\\Program Files\\Alpha", alpha.productdir);
    ASSERT_EQ(2u, alpha.m_UnistallActions.m_Actions.size());
    EXPECT_EQ(L"run", alpha.m_UnistallActions.m_Actions[1]->type);
    ASSERT_EQ(1u, alpha.m_RegistryActions.m_Keys.size());
    ASSERT_EQ(2u, alpha.m_RegistryActions.m_Values.size());
    EXPECT_EQ(L"Token", alpha.m_RegistryActions.m_Values[0]->name);
    // A product without actions holds only the prototypes, whose attributes
    // are all empty.
    const CProduct& beta = *products.m_Products[1];
    ASSERT_EQ(1u, beta.m_UnistallActions.m_Actions.size());
    EXPECT_TRUE(beta.m_UnistallActions.m_Actions[0]->m_bPrototype);
    EXPECT_EQ(L"", beta.m_UnistallActions.m_Actions[0]->type);
    EXPECT_EQ(0u, beta.m_RegistryActions.m_Keys.RealCount());

    ASSERT_EQ(0, doc.SaveFile(&products, out));
    EXPECT_EQ(kNormalProducts, cattest::ReadBytes(out));

    // The normalised form is a fixed point.
    CMyXMLDocument again;
    ASSERT_EQ(0, again.OpenFile(out));
    CProducts reread;
    ASSERT_EQ(0, again.ReadNode(&reread));
    ASSERT_EQ(0, again.SaveFile(&reread, out));
    EXPECT_EQ(kNormalProducts, cattest::ReadBytes(out));
}

TEST(ProductsFile, SignerIsKeptAsGivenAndNeverWrittenEmpty) {
    cattest::ScratchDir dir("signer");
    std::wstring in = dir.File("in.xml");
    std::wstring out = dir.File("out.xml");
    ASSERT_TRUE(cattest::WriteBytes(in, "<x><product intname='a' signer=' AB ; cd '/></x>"));
    CMyXMLDocument doc;
    CProduct described;
    ASSERT_EQ(0, doc.OpenFile(in));
    ASSERT_EQ(0, doc.ReadNode(&described));
    // Copied as the store registers it, beside a product without pins.
    CProducts products;
    CProduct* pinned = new CProduct();
    products.m_Products.push_back(pinned);
    ASSERT_TRUE(doc.CopyNode(&described, pinned));
    products.m_Products.push_back(new CProduct());
    ASSERT_EQ(0, doc.SaveFile(&products, out));
    const std::string kRest = "uninstall='' updateurl='' version=''><registryactions>"
                              "</registryactions><unistallactions></unistallactions></product>";
    EXPECT_EQ(std::string(kDecl) + "<products><product friendlyname='' intname='a' needadmin='' "
                  "productdir='' signer=' AB ; cd ' " + kRest + "<product friendlyname='' "
                  "intname='' needadmin='' productdir='' " + kRest + "</products>",
              cattest::ReadBytes(out));
}

TEST(ProductsFile, SpecialCharactersAreEscapedAndReadBackUnchanged) {
    cattest::ScratchDir dir("entities");
    std::wstring path = dir.File("p.xml");
    CProducts products;
    CProduct* p = new CProduct();
    p->intname = L"a<b & 'c'";
    p->friendlyname = L"say \"hi\" > there";
    products.m_Products.push_back(p);
    CMyXMLDocument doc;
    ASSERT_EQ(0, doc.SaveFile(&products, path));
    EXPECT_EQ(std::string(kDecl) +
                  "<products><product friendlyname='say &quot;hi&quot; &gt; there' "
                  "intname='a&lt;b &amp; &apos;c&apos;' needadmin='' productdir='' uninstall='' "
                  "updateurl='' version=''><registryactions></registryactions>"
                  "<unistallactions></unistallactions></product></products>",
              cattest::ReadBytes(path));

    CMyXMLDocument reader;
    ASSERT_EQ(0, reader.OpenFile(path));
    CProducts back;
    ASSERT_EQ(0, reader.ReadNode(&back));
    ASSERT_EQ(1u, back.m_Products.RealCount());
    EXPECT_EQ(L"a<b & 'c'", back.m_Products[0]->intname);
    EXPECT_EQ(L"say \"hi\" > there", back.m_Products[0]->friendlyname);
}

TEST(ProductsFile, ByteOrderMarkReadsLikeNoMark) {
    cattest::ScratchDir dir("bom");
    std::wstring plain = dir.File("plain.xml");
    std::wstring bom = dir.File("bom.xml");
    const std::string body =
        "<products><product intname='\xc3\xa9t\xc3\xa9' version='1'/></products>";
    ASSERT_TRUE(cattest::WriteBytes(plain, body));
    ASSERT_TRUE(cattest::WriteBytes(bom, "\xef\xbb\xbf" + body));

    CMyXMLDocument d1, d2;
    CProducts a, b;
    ASSERT_EQ(0, d1.OpenFile(plain));
    ASSERT_EQ(0, d1.ReadNode(&a));
    ASSERT_EQ(0, d2.OpenFile(bom));
    ASSERT_EQ(0, d2.ReadNode(&b));
    EXPECT_EQ(d1.NodeToString(&a), d2.NodeToString(&b));
    EXPECT_EQ(L"\u00e9t\u00e9", b.m_Products[0]->intname);
}

TEST(ProductsFile, EmptyProductsElementHasOnlyThePrototype) {
    CMyXMLDocument doc;
    CProducts products;
    ASSERT_EQ(0, doc.OpenString(L"<products></products>"));
    ASSERT_EQ(0, doc.ReadNode(&products));
    ASSERT_EQ(1u, products.m_Products.size());
    EXPECT_TRUE(products.m_Products[0]->m_bPrototype);
    EXPECT_EQ(L"<products></products>", doc.NodeToString(&products));
    // A fresh element writes the same.
    CProducts fresh;
    EXPECT_EQ(L"<products></products>", doc.NodeToString(&fresh));
}

TEST(ProductDescription, FirstProductAtAnyDepthAndRereadDropsOldActions) {
    CMyXMLDocument doc;
    CProduct product;
    ASSERT_EQ(0, doc.OpenString(
                     L"<setup><meta/><data><product intname='first' needadmin='Yes'>"
                     L"<unistallactions><action type='Run' file='x.exe'/></unistallactions>"
                     L"<unistallactions><action type='kill' file='y.exe'/></unistallactions>"
                     L"</product></data><product intname='second'/></setup>"));
    ASSERT_EQ(0, doc.ReadNode(&product));
    EXPECT_EQ(L"first", product.intname);
    EXPECT_EQ(L"Yes", product.needadmin);
    // A second unistallactions element is read into the same node: the last wins.
    ASSERT_EQ(1u, product.m_UnistallActions.m_Actions.size());
    EXPECT_EQ(L"y.exe", product.m_UnistallActions.m_Actions[0]->file);

    // Reading another product into the same object leaves nothing of the first.
    ASSERT_EQ(0, doc.OpenString(L"<product intname='plain'/>"));
    ASSERT_EQ(0, doc.ReadNode(&product));
    EXPECT_EQ(L"", product.needadmin);
    EXPECT_EQ(0u, product.m_UnistallActions.m_Actions.RealCount());
}

TEST(UpdateManifest, NestedElementAndUnknownAttributesIgnored) {
    CMyXMLDocument doc;
    CUpdate update;
    ASSERT_EQ(0, doc.OpenString(
                     L"<response><update intname='alpha' version='1.3' installerurl='http://h/s.exe'"
                     L" whatsnewurl='http://h/new.xml' size='123' colour='blue'/></response>"));
    ASSERT_EQ(0, doc.ReadNode(&update));
    EXPECT_EQ(L"alpha", update.intname);
    EXPECT_EQ(L"1.3", update.version);
    EXPECT_EQ(L"http://h/s.exe", update.installerurl);
    EXPECT_EQ(L"http://h/new.xml", update.whatsnewurl);
    EXPECT_EQ(L"123", update.size);
    EXPECT_EQ(L"", update.sha256);
    EXPECT_EQ(L"<update expires='' installerurl='http://h/s.exe' intname='alpha' issued='' "
              L"reporturl='' rollout='' sha256='' size='123' version='1.3' whatsnewsha256='' "
              L"whatsnewurl='http://h/new.xml'></update>",
              doc.NodeToString(&update));
}

TEST(ProductsFile, MissingAndMalformedFilesFailToRead) {
    cattest::ScratchDir dir("malformed");
    CProducts products;
    {
        CMyXMLDocument doc;
        EXPECT_EQ(0, doc.OpenFile(dir.File("absent.xml")));
        EXPECT_EQ(-1, doc.ReadNode(&products));
    }
    const char* bad[] = {
        "",
        "not xml at all",
        "<product intname='x'/>",             // no products element
        "<products><product intname='x'>",   // ends inside
    };
    for (const char* text : bad) {
        std::wstring path = dir.File("bad.xml");
        ASSERT_TRUE(cattest::WriteBytes(path, text));
        CMyXMLDocument doc;
        ASSERT_EQ(0, doc.OpenFile(path));
        EXPECT_EQ(-1, doc.ReadNode(&products)) << text;
    }
}

}  // namespace
