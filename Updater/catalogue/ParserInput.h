#pragma once

#include <string>

namespace MyXML {

// Prepares the bytes of a document for the irrXML parser, which scans for
// closing characters without checking for the end of its buffer and so runs
// off the end of some malformed documents (a truncated file ending inside a
// tag, an unterminated declaration or comment, a too short comment or CDATA
// section). The result is what the parser would have read on its own: the
// 8-bit text after any byte order mark, as far as the first terminator, and
// cut before the first construct that would make the parser read past the
// end. Well-formed documents pass unchanged apart from a UTF-8 byte order
// mark, which the parser would skip anyway, and the entity guard below.
//
// The parser also drops the last character of an attribute value or text
// when exactly one character follows its last entity ("AT&amp;T" reads as
// "AT&"). So every value and text that holds an entity gets kEntityGuard
// appended, which keeps the parser's own tail handling away from the real
// characters; WithoutEntityGuard removes it from what the parser reports.
// The guard's character is not allowed in XML; any in the input becomes "?".
extern const char kEntityGuard[];
std::string PrepareParserInput(const std::string& bytes);

// A value or text as the parser reports it, without the entity guard.
std::string WithoutEntityGuard(const char* value);

}  // namespace MyXML
