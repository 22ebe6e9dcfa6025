#include "catalogue/ParserInput.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace MyXML {

const char kEntityGuard[] = "\x01\x01";

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

uint32_t Unit(const std::string& b, size_t at, size_t width, bool bigEndian) {
    uint32_t v = 0;
    for (size_t k = 0; k < width; ++k) {
        uint32_t byte = static_cast<unsigned char>(b[at + k]);
        v |= bigEndian ? byte << (8 * (width - 1 - k)) : byte << (8 * k);
    }
    return v;
}

// True when s holds c in [from, to). Looks no further than to: searching the
// rest of the document for every node made reading a products file grow with
// the square of its size.
bool HoldsBetween(const std::string& s, char c, size_t from, size_t to) {
    return from < to && std::memchr(s.data() + from, c, to - from) != nullptr;
}

// UTF-16 and UTF-32 documents: the parser keeps the low 8 bits of every unit
// and stops at the first zero unit.
std::string Narrowed(const std::string& b, size_t width, bool bigEndian) {
    std::string text;
    for (size_t at = width; at + width <= b.size(); at += width) {
        uint32_t u = Unit(b, at, width, bigEndian);
        if (u == 0)
            break;
        text += static_cast<char>(u & 0xFF);
    }
    return text;
}

// The 8-bit text the parser works on, in the order the parser tests the marks.
std::string ParserText(const std::string& b) {
    auto starts = [&b](const char* mark, size_t n) { return b.size() >= n && b.compare(0, n, mark, n) == 0; };
    std::string text;
    if (starts("\x00\x00\xFE\xFF", 4))
        text = Narrowed(b, 4, true);
    else if (starts("\xFF\xFE\x00\x00", 4))
        text = Narrowed(b, 4, false);
    else if (starts("\xFE\xFF", 2))
        text = Narrowed(b, 2, true);
    else if (starts("\xFF\xFE", 2))
        text = Narrowed(b, 2, false);
    else if (starts("\xEF\xBB\xBF", 3))
        text = b.substr(3);
    else
        text = b;
    size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    return text;
}

// Where the walk goes on after a node: the position to look for the next
// node from, or, once the walk is over, the length of the safe prefix.
struct Step {
    bool over;
    size_t at;
};

Step GoOnAt(size_t at) { return {false, at}; }
Step SafeUpTo(size_t length) { return {true, length}; }

// An end tag or a processing instruction, from its kind character at p:
// the parser looks for its '>'.
Step AfterTagToClose(const std::string& s, size_t lt, size_t p) {
    const size_t gt = s.find('>', p);
    return gt == std::string::npos ? SafeUpTo(lt) : GoOnAt(gt + 1);
}

// CDATA, from its '!' at p: the parser steps over up to eight characters,
// then looks for "]]>", whose end must not lie before the start.
Step AfterCdata(const std::string& s, size_t lt, size_t p) {
    const size_t n = s.size();
    size_t begin = p;
    for (int count = 0; begin < n && count < 8; ++count)
        ++begin;
    if (begin >= n)
        return SafeUpTo(n);  // the parser stops at the end
    size_t q = begin;
    for (; q < n; ++q) {
        if (s[q] == '>' && s[q - 1] == ']' && s[q - 2] == ']')
            break;
    }
    if (q >= n)
        return SafeUpTo(n);  // unterminated: an empty section, then the end
    if (q - 2 < begin)
        return SafeUpTo(lt);
    return GoOnAt(q + 1);
}

// A comment or declaration, from its '!' at p: nested < and > are counted,
// and the text must be long enough for the parser's "-->" arithmetic.
Step AfterCommentOrDeclaration(const std::string& s, size_t lt, size_t p) {
    const size_t n = s.size();
    const size_t begin = p + 1;
    size_t q = begin;
    int depth = 1;
    for (; q < n && depth > 0; ++q) {
        if (s[q] == '>')
            --depth;
        else if (s[q] == '<')
            ++depth;
    }
    if (depth > 0 || q < begin + 5)
        return SafeUpTo(lt);
    return GoOnAt(q);
}

// One attribute of an element start, from its name at q: the name up to a
// space or '=', then the quoted value, which gets a guard when it holds an
// entity. Goes on after the closing quote.
Step AfterAttribute(const std::string& s, size_t lt, size_t q, std::vector<size_t>& guards) {
    const size_t n = s.size();
    while (q < n && !IsSpace(s[q]) && s[q] != '=')
        ++q;
    if (q >= n)
        return SafeUpTo(lt);
    ++q;
    while (q < n && s[q] != '"' && s[q] != '\'')
        ++q;
    if (q >= n)
        return SafeUpTo(n);  // the parser stopped at the end of the text
    const char quote = s[q++];
    const size_t valueBegin = q;
    while (q < n && s[q] != quote)
        ++q;
    if (q >= n)
        return SafeUpTo(n);
    if (HoldsBetween(s, '&', valueBegin, q))
        guards.push_back(q);
    return GoOnAt(q + 1);
}

// An element start, from its name at p: the name, then attributes up to '>'.
Step AfterElementStart(const std::string& s, size_t lt, size_t p, std::vector<size_t>& guards) {
    const size_t n = s.size();
    size_t q = p;
    while (q < n && s[q] != '>' && !IsSpace(s[q]))
        ++q;
    for (;;) {
        if (q >= n)
            return SafeUpTo(lt);
        const char c = s[q];
        if (c == '>')
            return GoOnAt(q + 1);
        if (c == '/')
            return GoOnAt(q + 2);  // the parser takes the next character as the '>'
        if (IsSpace(c)) {
            ++q;
            continue;
        }
        const Step attribute = AfterAttribute(s, lt, q, guards);
        if (attribute.over)
            return attribute;
        q = attribute.at;
    }
}

// The node that begins with the '<' at lt.
Step AfterNode(const std::string& s, size_t lt, std::vector<size_t>& guards) {
    const size_t p = lt + 1;
    if (p >= s.size())
        return SafeUpTo(lt);
    const char kind = s[p];
    if (kind == '/' || kind == '?')
        return AfterTagToClose(s, lt, p);
    if (kind == '!' && p + 1 < s.size() && s[p + 1] == '[')
        return AfterCdata(s, lt, p);
    if (kind == '!')
        return AfterCommentOrDeclaration(s, lt, p);
    return AfterElementStart(s, lt, p, guards);
}

// Walks the text as the parser does, node by node. Returns the length of
// the prefix that the parser reads without leaving the text, and where the
// guard goes: at the end of every attribute value and text that holds an
// entity.
size_t SafeLength(const std::string& s, std::vector<size_t>& guards) {
    size_t i = 0;
    for (;;) {
        const size_t lt = s.find('<', i);
        if (lt == std::string::npos)
            return s.size();  // only text is left, which the parser never reports
        if (HoldsBetween(s, '&', i, lt))
            guards.push_back(lt);
        const Step step = AfterNode(s, lt, guards);
        if (step.over)
            return step.at;
        i = step.at;
    }
}

}  // namespace

std::string PrepareParserInput(const std::string& bytes) {
    std::string text = ParserText(bytes);
    // The guard must be the only source of its character; the character is
    // not allowed in XML anyway.
    for (char& c : text) {
        if (c == kEntityGuard[0])
            c = '?';
    }
    std::vector<size_t> guards;
    const size_t safe = SafeLength(text, guards);
    std::string prepared;
    prepared.reserve(safe + 2 * guards.size());
    size_t from = 0;
    for (size_t at : guards) {
        if (at > safe)
            break;
        prepared.append(text, from, at - from);
        prepared += kEntityGuard;
        from = at;
    }
    prepared.append(text, from, safe - from);
    // Text that now begins like a byte order mark would make the parser
    // take it for UTF-16 or UTF-8 again; a UTF-8 mark in front keeps it as
    // the 8-bit text it is.
    if (!prepared.empty() && (prepared[0] == '\xEF' || prepared[0] == '\xFE' || prepared[0] == '\xFF'))
        prepared.insert(0, "\xEF\xBB\xBF");
    return prepared;
}

std::string WithoutEntityGuard(const char* value) {
    if (!value)
        return std::string();
    std::string text(value);
    const size_t guard = sizeof kEntityGuard - 1;
    if (text.size() >= guard && text.compare(text.size() - guard, guard, kEntityGuard) == 0)
        text.resize(text.size() - guard);
    return text;
}

}  // namespace MyXML
