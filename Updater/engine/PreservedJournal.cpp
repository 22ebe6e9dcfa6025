#include "engine/PreservedJournal.h"

namespace {

const char kHeader[] = "QuillMarrow preserved registry values 1";
const char kEnd[] = "end";
const char kDigits[] = "0123456789abcdef";

// Empty texts are written as "-" so that every field has a width.
std::string HexText(const std::wstring& text) {
    if (text.empty())
        return "-";
    std::string out;
    for (wchar_t c : text) {
        const unsigned unit = static_cast<unsigned short>(c);
        for (int shift = 12; shift >= 0; shift -= 4)
            out += kDigits[(unit >> shift) & 0xF];
    }
    return out;
}

std::string HexBytes(const std::vector<unsigned char>& bytes) {
    if (bytes.empty())
        return "-";
    std::string out;
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads count hexadecimal digits from at; false on anything else.
bool ReadHex(const std::string& field, size_t at, size_t count, unsigned& value) {
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        const int d = DigitValue(field[at + i]);
        if (d < 0)
            return false;
        value = value * 16 + static_cast<unsigned>(d);
    }
    return true;
}

bool ParseHexText(const std::string& field, std::wstring& text) {
    text.clear();
    if (field == "-")
        return true;
    if (field.empty() || field.size() % 4 != 0)
        return false;
    for (size_t at = 0; at < field.size(); at += 4) {
        unsigned unit = 0;
        if (!ReadHex(field, at, 4, unit))
            return false;
        text += static_cast<wchar_t>(unit);
    }
    return true;
}

bool ParseHexBytes(const std::string& field, std::vector<unsigned char>& bytes) {
    bytes.clear();
    if (field == "-")
        return true;
    if (field.empty() || field.size() % 2 != 0)
        return false;
    for (size_t at = 0; at < field.size(); at += 2) {
        unsigned b = 0;
        if (!ReadHex(field, at, 2, b))
            return false;
        bytes.push_back(static_cast<unsigned char>(b));
    }
    return true;
}

bool ParseType(const std::string& field, unsigned long& type) {
    if (field.empty() || field.size() > 10)
        return false;
    unsigned long long value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFull)
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

bool IsRoot(const std::string& field) { return field == "HKLM" || field == "HKCU"; }

}  // namespace

std::string FormatJournal(const CJournal& journal) {
    std::string text = std::string(kHeader) + "\n";
    text += "product " + HexText(journal.intname) + "\n";
    for (const CJournalValue& value : journal.values) {
        const std::string place = std::string(value.root == L"HKLM" ? "HKLM" : "HKCU") + " " +
                                  HexText(value.key) + " " + HexText(value.name);
        if (value.existed)
            text += "value " + place + " " + std::to_string(value.type) + " " +
                    HexBytes(value.data) + "\n";
        else
            text += "absent " + place + "\n";
    }
    return text + kEnd + "\n";
}

bool ParseJournal(const std::string& text, CJournal& journal) {
    std::vector<std::string> lines = Split(text, '\n');
    // Header, product, end and the empty rest after the last line end.
    if (lines.size() < 4 || lines[0] != kHeader || lines[lines.size() - 2] != kEnd ||
        !lines.back().empty())
        return false;
    CJournal read;
    std::vector<std::string> product = Split(lines[1], ' ');
    if (product.size() != 2 || product[0] != "product" || !ParseHexText(product[1], read.intname))
        return false;
    for (size_t i = 2; i + 2 < lines.size(); ++i) {
        std::vector<std::string> f = Split(lines[i], ' ');
        CJournalValue value;
        if (f.size() < 4 || !IsRoot(f[1]) || !ParseHexText(f[2], value.key) ||
            !ParseHexText(f[3], value.name))
            return false;
        value.root = f[1] == "HKLM" ? L"HKLM" : L"HKCU";
        if (f[0] == "value" && f.size() == 6) {
            value.existed = true;
            if (!ParseType(f[4], value.type) || !ParseHexBytes(f[5], value.data))
                return false;
        } else if (f[0] != "absent" || f.size() != 4) {
            return false;
        }
        read.values.push_back(value);
    }
    journal = read;
    return true;
}

std::wstring JournalFileName(const std::wstring& intname) {
    // FNV-1a over the UTF-16 code units.
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : intname) {
        const unsigned unit = static_cast<unsigned short>(c);
        for (unsigned byte : {unit & 0xFF, unit >> 8}) {
            hash ^= byte;
            hash *= 1099511628211ull;
        }
    }
    std::wstring name = L"PreservedValues-";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += static_cast<wchar_t>(kDigits[(hash >> shift) & 0xF]);
    return name + L".journal";
}
