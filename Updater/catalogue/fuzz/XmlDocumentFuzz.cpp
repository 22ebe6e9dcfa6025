// Arbitrary documents read into the element classes: reading never leaves
// the parser's text, and the normalised form is a fixed point (writing what
// was read and reading it again writes the same text).
#include "catalogue/MyXMLDocument.h"
#include "catalogue/ParserInput.h"
#include "catalogue/Product.h"
#include "catalogue/Update.h"

#include "system/TextCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

template <class Node>
void CheckFixedPoint(const std::wstring& text) {
    MyXML::CMyXMLDocument doc;
    if (doc.OpenString(text) != 0)
        std::abort();
    Node first;
    if (doc.ReadNode(&first) != 0)
        return;
    std::wstring written = doc.NodeToString(&first);
    Node second;
    if (!doc.CopyNode(&first, &second) || doc.NodeToString(&second) != written)
        std::abort();
}

// Raw bytes, byte order marks of every kind included, straight into the
// parser the way a file reaches it: every node and attribute is visited.
void WalkRawBytes(const char* bytes, size_t count) {
    std::string prepared = MyXML::PrepareParserInput(std::string(bytes, count));
    irr::io::IrrXMLReader* reader = irr::io::createIrrXMLReader(new MyXML::CStringReadCallBack(
        MyXML::CStringReadCallBack::Utf8Bytes{prepared}), true);
    if (!reader)
        std::abort();
    size_t seen = 0;
    while (reader->read()) {
        seen += std::string(reader->getNodeName()).size();
        for (int i = 0; i < static_cast<int>(reader->getAttributeCount()); ++i)
            seen += std::string(reader->getAttributeName(i)).size() +
                    MyXML::WithoutEntityGuard(reader->getAttributeValue(i)).size();
    }
    delete reader;
    // Only reading matters here; keep the visits from being optimised away.
    volatile size_t sink = seen;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses what the rest is: raw bytes for the parser, or
    // wide text taken as UTF-8 or byte by byte (every byte a character).
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const size_t count = size - 1;
    if (data[0] & 2) {
        WalkRawBytes(bytes, count);
        return 0;
    }
    std::wstring text = (data[0] & 1) ? BytesToWide(bytes, count, CodePage::Utf8)
                                      : std::wstring(bytes, bytes + count);
    CheckFixedPoint<CProducts>(text);
    CheckFixedPoint<CProduct>(text);
    CheckFixedPoint<CUpdate>(text);
    return 0;
}
