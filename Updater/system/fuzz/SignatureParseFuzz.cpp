// Arbitrary files and signatures from the network: finding the signature of
// a PE file and reading a SignedData and its SpcIndirectData must stay
// inside the bytes given and describe only bytes that are there.
#include "system/PeSignatureLayout.h"
#include "system/SignedData.h"
#include "system/SpcIndirectData.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool Inside(const uint8_t* p, size_t length, const uint8_t* data, size_t size) {
    return p >= data && length <= size && p - data <= static_cast<ptrdiff_t>(size - length);
}

void ReadSignature(const uint8_t* data, size_t size) {
    SignedDataView view;
    if (!ReadSignedData(data, size, view))
        return;
    if (view.hasContent && !Inside(view.content, view.contentLength, data, size))
        std::abort();
    if (view.hasSignedAttributes &&
        !Inside(view.messageDigest, view.messageDigestLength, data, size))
        std::abort();
    SpcIndirectData indirect;
    if (view.hasContent && ReadSpcIndirectData(view.content, view.contentLength, indirect) &&
        !Inside(indirect.digest, indirect.digestLength, view.content, view.contentLength))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadSignature(data, size);

    PeSignatureLayout layout;
    auto read = [data, size](uint32_t offset, void* into, size_t count) {
        if (offset > size || count > size - offset)
            return false;
        std::memcpy(into, data + offset, count);
        return true;
    };
    if (ReadPeSignatureLayout(read, size, layout) != 0)
        return 0;
    // The hashed ranges come in file order, leave out only the two fields
    // and end where the signature's entry begins, which ends the file.
    uint64_t end = 0;
    for (const PeSignatureLayout::Range& range : layout.hashed) {
        if (range.offset < end || uint64_t(range.offset) + range.length > size)
            std::abort();
        end = uint64_t(range.offset) + range.length;
    }
    if (end + 8 != layout.signature.offset ||
        uint64_t(layout.signature.offset) + layout.signature.length > size)
        std::abort();
    std::vector<uint8_t> blob(data + layout.signature.offset,
                              data + layout.signature.offset + layout.signature.length);
    ReadSignature(blob.data(), blob.size());
    return 0;
}
