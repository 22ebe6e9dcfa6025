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
// mark, which the parser would skip anyway.
std::string PrepareParserInput(const std::string& bytes);

}  // namespace MyXML
