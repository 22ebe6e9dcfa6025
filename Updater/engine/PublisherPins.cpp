#include "engine/PublisherPins.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// The pin text[begin, end) with blanks around it, compared with digest.
bool PinEquals(const std::wstring& text, size_t begin, size_t end, const uint8_t (&digest)[32]) {
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    if (end - begin != 2 * sizeof digest)
        return false;
    for (size_t i = 0; i < sizeof digest; ++i) {
        int high = HexValue(text[begin + 2 * i]);
        int low = HexValue(text[begin + 2 * i + 1]);
        if (high < 0 || low < 0 || ((high << 4) | low) != digest[i])
            return false;
    }
    return true;
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
