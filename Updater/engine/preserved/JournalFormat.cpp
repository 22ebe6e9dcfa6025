#include "engine/preserved/JournalFormat.h"

#include "common/TextNumbers.h"

#include <cstdint>

const wchar_t kJournalPrefix[] = L"PreservedValues-";
const wchar_t kJournalSuffix[] = L".journal";

namespace {

const char kHeader[] = "QuillMarrow preserved registry values 1";
const char kEnd[] = "end";

typedef std::vector<unsigned char> Bytes;

Bytes Utf16Bytes(const std::wstring& text) {
    Bytes bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    return bytes;
}

// Empty byte strings are written as "-" so that every field has a width.
std::string Hex(const Bytes& bytes) {
    if (bytes.empty())
        return "-";
    std::string out;
    AppendHexBytes(out, bytes.data(), bytes.size());
    return out;
}

std::string Hex(const std::wstring& text) { return Hex(Utf16Bytes(text)); }

bool ParseHex(const std::string& field, Bytes& bytes) {
    if (field == "-") {
        bytes.clear();
        return true;
    }
    return !field.empty() && ParseHexBytes(field, bytes);
}

bool ParseHex(const std::string& field, std::wstring& text) {
    Bytes bytes;
    if (!ParseHex(field, bytes) || bytes.size() % 2 != 0)
        return false;
    text.clear();
    for (size_t at = 0; at < bytes.size(); at += 2)
        text += static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << 8));
    return true;
}

bool ParseType(const std::string& field, unsigned long& type) {
    uint64_t value = 0;
    if (!ParseDecimal(field, 0xFFFFFFFFu, value))
        return false;
    type = static_cast<unsigned long>(value);
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

}  // namespace

std::string FormatJournal(const CJournal& journal) {
    std::string text = std::string(kHeader) + "\nproduct " + Hex(journal.intname) + "\n";
    for (const CPreservedValue& value : journal.values) {
        const std::string place = std::string(value.root == L"HKLM" ? "HKLM " : "HKCU ") +
                                  Hex(value.key) + " " + Hex(value.name);
        if (value.existed)
            text += "value " + place + " " + std::to_string(value.type) + " " + Hex(value.data) + "\n";
        else
            text += "absent " + place + "\n";
    }
    return text + kEnd + "\n";
}

bool ParseJournal(const std::string& text, CJournal& journal) {
    const std::vector<std::string> lines = Split(text, '\n');
    // Header, product, end and the empty rest after the last line end.
    if (lines.size() < 4 || lines[0] != kHeader || lines[lines.size() - 2] != kEnd ||
        !lines.back().empty())
        return false;
    CJournal read;
    const std::vector<std::string> product = Split(lines[1], ' ');
    if (product.size() != 2 || product[0] != "product" || !ParseHex(product[1], read.intname))
        return false;
    for (size_t i = 2; i + 2 < lines.size(); ++i) {
        const std::vector<std::string> f = Split(lines[i], ' ');
        CPreservedValue value;
        value.existed = f[0] == "value";
        if (f.size() != (value.existed ? 6u : 4u) || (!value.existed && f[0] != "absent") ||
            (f[1] != "HKLM" && f[1] != "HKCU") || !ParseHex(f[2], value.key) ||
            !ParseHex(f[3], value.name) ||
            (value.existed && (!ParseType(f[4], value.type) || !ParseHex(f[5], value.data))))
            return false;
        value.root = f[1] == "HKLM" ? L"HKLM" : L"HKCU";
        read.values.push_back(value);
    }
    journal = read;
    return true;
}

std::wstring JournalFileName(const std::wstring& intname) {
    return kJournalPrefix + HexText(Fnv1a64(intname, FnvUnit::LittleEndian), 16) +
           kJournalSuffix;
}
