#include "system/Der.h"

CDerReader::CDerReader(const uint8_t* data, size_t size)
    : m_pos(data), m_end(data + size), m_failed(false) {}

CDerReader::CDerReader(const DerElement& element)
    : m_pos(element.contents), m_end(element.contents + element.length), m_failed(false) {}

bool CDerReader::Peek(DerElement& element) const {
    if (m_failed || m_pos == m_end)
        return false;
    const uint8_t* p = m_pos;
    uint8_t tag = *p++;
    // A tag number of 31 or more takes further bytes.
    if ((tag & 0x1F) == 0x1F || p == m_end)
        return false;
    size_t remaining = static_cast<size_t>(m_end - p);
    uint8_t first = *p++;
    --remaining;
    uint64_t length = first;
    if (first & 0x80) {
        // 0x80 is the indefinite form, which DER does not have.
        size_t count = first & 0x7F;
        if (count == 0 || count > 4 || count > remaining)
            return false;
        length = 0;
        for (size_t i = 0; i < count; ++i)
            length = (length << 8) | *p++;
        remaining -= count;
    }
    if (length > remaining)
        return false;
    element.tag = tag;
    element.contents = p;
    element.length = static_cast<size_t>(length);
    element.encoding = m_pos;
    element.encodedLength = static_cast<size_t>(p + length - m_pos);
    return true;
}

bool CDerReader::Next(DerElement& element) {
    if (m_failed || m_pos == m_end)
        return false;
    if (!Peek(element)) {
        m_failed = true;
        return false;
    }
    m_pos = element.encoding + element.encodedLength;
    return true;
}

bool CDerReader::NextIf(uint8_t tag, DerElement& element) {
    DerElement next;
    if (m_failed || m_pos == m_end)
        return false;
    if (!Peek(next)) {
        m_failed = true;
        return false;
    }
    if (next.tag != tag)
        return false;
    element = next;
    m_pos = next.encoding + next.encodedLength;
    return true;
}

std::string DerObjectIdText(const DerElement& element) {
    if (element.tag != der::kObjectId || element.length == 0)
        return std::string();
    std::string text;
    uint32_t arc = 0;
    bool first = true;
    for (size_t i = 0; i < element.length; ++i) {
        uint8_t b = element.contents[i];
        // An arc begins with no 0x80 padding byte and fits 32 bits.
        if ((arc == 0 && b == 0x80) || arc > (0xFFFFFFFFu >> 7))
            return std::string();
        arc = (arc << 7) | (b & 0x7F);
        if (b & 0x80)
            continue;
        if (first) {
            // The first subidentifier holds the first two arcs.
            uint32_t top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
            text = std::to_string(top) + "." + std::to_string(arc - 40 * top);
            first = false;
        } else {
            text += "." + std::to_string(arc);
        }
        arc = 0;
    }
    // The last byte must end a subidentifier.
    if (element.contents[element.length - 1] & 0x80)
        return std::string();
    return text;
}
