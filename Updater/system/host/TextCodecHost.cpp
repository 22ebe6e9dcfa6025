// Host-build stand-in for the system's code page conversion: both code pages
// are UTF-8, wide characters hold whole code points, and malformed sequences
// become U+FFFD as the system converter does.
#include "system/TextCodec.h"

#include <cstdint>

namespace {

const wchar_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at bytes[i]; advances i past what it consumed.
wchar_t DecodeOne(const unsigned char* bytes, size_t count, size_t& i) {
    unsigned char lead = bytes[i++];
    if (lead < 0x80)
        return static_cast<wchar_t>(lead);
    int extra;
    uint32_t cp;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= count || (bytes[i] & 0xC0) != 0x80)
            return kReplacement;
        cp = (cp << 6) | (bytes[i++] & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kReplacement;
    return static_cast<wchar_t>(cp);
}

void EncodeOne(uint32_t cp, std::string& out) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::wstring BytesToWide(const char* bytes, size_t count, CodePage) {
    std::wstring wide;
    if (!bytes)
        return wide;
    const unsigned char* u = reinterpret_cast<const unsigned char*>(bytes);
    size_t i = 0;
    while (i < count)
        wide += DecodeOne(u, count, i);
    return wide;
}

std::string WideToBytes(const wchar_t* text, size_t count, CodePage) {
    std::string bytes;
    if (!text)
        return bytes;
    for (size_t i = 0; i < count; ++i)
        EncodeOne(static_cast<uint32_t>(text[i]), bytes);
    return bytes;
}
