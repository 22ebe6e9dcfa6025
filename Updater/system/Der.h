#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One element of a DER encoding: its tag byte, its contents octets and its
// whole encoding (tag and length included), all inside the caller's buffer.
struct DerElement {
    uint8_t tag = 0;
    const uint8_t* contents = nullptr;
    size_t length = 0;
    const uint8_t* encoding = nullptr;
    size_t encodedLength = 0;
};

// Reads the elements of a DER encoding one after the other. Only definite
// lengths (DER has no other) and tags of one byte are read: the signature
// structures read with it need no more. An element that runs past the end of
// its buffer is malformed; after a malformed element nothing more is read.
class CDerReader {
public:
    CDerReader(const uint8_t* data, size_t size);
    // Reads the contents of a constructed element.
    explicit CDerReader(const DerElement& element);

    // The next element; false at the end or when it is malformed.
    bool Next(DerElement& element);
    // The next element only if it has this tag; false, with nothing read,
    // when the next element has another tag or there is none.
    bool NextIf(uint8_t tag, DerElement& element);
    // Whether every byte was read without a malformed element.
    bool AtEnd() const { return !m_failed && m_pos == m_end; }

private:
    bool Peek(DerElement& element) const;

    const uint8_t* m_pos;
    const uint8_t* m_end;
    bool m_failed;
};

// Tags of the universal and context-specific elements the signature
// structures use.
namespace der {
const uint8_t kInteger = 0x02;
const uint8_t kOctetString = 0x04;
const uint8_t kObjectId = 0x06;
const uint8_t kSequence = 0x30;
const uint8_t kSet = 0x31;
const uint8_t kContext0 = 0xA0;  // [0], constructed
const uint8_t kContext1 = 0xA1;  // [1], constructed
}  // namespace der

// The dotted text of an OBJECT IDENTIFIER element ("1.2.840.113549.1.7.2");
// empty when the element is no object identifier or is malformed.
std::string DerObjectIdText(const DerElement& element);
