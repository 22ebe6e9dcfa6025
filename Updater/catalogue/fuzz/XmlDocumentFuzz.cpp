// Arbitrary documents read into the element classes: reading never leaves
// the parser's text, and the normalised form is a fixed point (writing what
// was read and reading it again writes the same text).
#include "catalogue/MyXMLDocument.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses how the rest becomes wide text: as UTF-8, or
    // byte by byte (every byte a character of its own).
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const size_t count = size - 1;
    std::wstring text = (data[0] & 1) ? BytesToWide(bytes, count, CodePage::Utf8)
                                      : std::wstring(bytes, bytes + count);
    CheckFixedPoint<CProducts>(text);
    CheckFixedPoint<CProduct>(text);
    CheckFixedPoint<CUpdate>(text);
    return 0;
}
