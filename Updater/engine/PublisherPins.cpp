#include "engine/PublisherPins.h"

#include "engine/ManifestFields.h"

#include <cstring>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// The pin text[begin, end) with blanks around it, compared with digest.
bool PinEquals(const std::wstring& text, size_t begin, size_t end, const uint8_t (&digest)[32]) {
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    uint8_t pin[32];
    return ParseSha256Hex(text.substr(begin, end - begin), pin) &&
           std::memcmp(pin, digest, sizeof pin) == 0;
}

}  // namespace

bool HasPublisherPins(const std::wstring& signer) {
    return !signer.empty();
}

bool MatchesPublisherPin(const std::wstring& signer, const uint8_t (&keyDigest)[32]) {
    size_t begin = 0;
    for (;;) {
        size_t end = signer.find(L';', begin);
        if (end == std::wstring::npos)
            end = signer.size();
        if (PinEquals(signer, begin, end, keyDigest))
            return true;
        if (end == signer.size())
            return false;
        begin = end + 1;
    }
}
