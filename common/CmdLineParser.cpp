#include "common/CmdLineParser.h"

#include <cwctype>

namespace {

const wchar_t kPrefixes[] = L"-/";
const wchar_t kSeparators[] = L"=:";
const wchar_t kQuotes[] = L"\"'";

bool IsArgumentSpace(wchar_t c) { return c == L' ' || c == L'\t'; }

// Whether the option prefix at prefix opens an argument quoted whole
// ("-info=C:\Program Files\p.xml"): a double quote right before it that is
// not yet consumed (at or after cursor) and stands at the start of the text
// or of a word.
bool OpensQuotedArgument(const std::wstring& text, size_t cursor, size_t prefix) {
    if (prefix <= cursor || text[prefix - 1] != L'"')
        return false;
    return prefix - 1 == 0 || IsArgumentSpace(text[prefix - 2]);
}

// Reads the argument that starts at from as the C runtime does (and with it
// CommandLineToArgvW and the installer tools that quote for them): double
// quotes switch quoting on and off, "" inside quotes is one quote, a
// backslash before a quote escapes it (2n backslashes and a quote are n
// backslashes and a switch, 2n+1 are n and a literal quote), other
// backslashes are plain, and an unquoted space or tab ends the argument.
// Returns where the argument ends.
size_t ReadArgument(const std::wstring& text, size_t from, std::wstring& argument) {
    bool quoted = false;
    size_t i = from;
    while (i < text.size()) {
        const wchar_t c = text[i];
        if (!quoted && IsArgumentSpace(c))
            break;
        if (c == L'\\') {
            const size_t run = text.find_first_not_of(L'\\', i);
            const size_t count = (run == std::wstring::npos ? text.size() : run) - i;
            const bool beforeQuote = run != std::wstring::npos && text[run] == L'"';
            argument.append(beforeQuote ? count / 2 : count, L'\\');
            i += count;
            if (beforeQuote && count % 2 == 1) {
                argument += L'"';
                ++i;
            }
            continue;
        }
        if (c == L'"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == L'"') {
                argument += L'"';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
            continue;
        }
        argument += c;
        ++i;
    }
    return i;
}

}  // namespace

CCmdLineParser::CCmdLineParser(const wchar_t* cmdLine, bool caseSensitive)
    : m_caseSensitive(caseSensitive) {
    if (cmdLine)
        Parse(cmdLine);
}

CCmdLineParser::~CCmdLineParser() {}

std::wstring CCmdLineParser::FoldName(const std::wstring& name) const {
    if (m_caseSensitive)
        return name;
    std::wstring folded(name);
    for (wchar_t& c : folded)
        c = static_cast<wchar_t>(std::towlower(c));
    return folded;
}

void CCmdLineParser::Store(const std::wstring& name, const std::wstring& value) {
    if (name.empty())
        return;
    // insert keeps the first occurrence of a name.
    m_options.insert(OptionMap::value_type(FoldName(name), value));
}

void CCmdLineParser::Parse(const wchar_t* cmdLine) {
    if (!cmdLine)
        return;
    m_cmdLine = cmdLine;
    m_options.clear();

    const std::wstring& text = m_cmdLine;
    const size_t npos = std::wstring::npos;
    size_t cursor = 0;
    while (cursor < text.size()) {
        size_t prefix = text.find_first_of(kPrefixes, cursor);
        if (prefix == npos || prefix + 1 >= text.size())
            return;
        if (OpensQuotedArgument(text, cursor, prefix)) {
            cursor = StoreQuotedArgument(prefix - 1);
            continue;
        }
        size_t nameStart = prefix + 1;
        size_t sep = text.find_first_of(kSeparators, nameStart);
        if (sep == npos) {
            Store(text.substr(nameStart), std::wstring());
            return;
        }
        std::wstring name = text.substr(nameStart, sep - nameStart);
        if (sep + 1 >= text.size()) {
            Store(name, std::wstring());
            return;
        }
        size_t valueStart = sep + 1;
        size_t end;
        std::wstring value;
        if (text.find_first_of(kQuotes, valueStart) == valueStart) {
            // Only the quote that opened the value closes it, so a path in
            // double quotes may hold an apostrophe and the other way round.
            end = text.find(text[valueStart], valueStart + 1);
            if (end == npos) {
                Store(name, text.substr(valueStart + 1));
                return;
            }
            value = text.substr(valueStart + 1, end - valueStart - 1);
        } else {
            end = text.find(L' ', valueStart);
            if (end == npos) {
                Store(name, text.substr(valueStart));
                return;
            }
            value = text.substr(valueStart, end - valueStart);
        }
        Store(name, value);
        cursor = end + 1;
    }
}

size_t CCmdLineParser::StoreQuotedArgument(size_t quote) {
    std::wstring argument;
    const size_t end = ReadArgument(m_cmdLine, quote, argument);
    // The argument is one option: its first character is the prefix, and its
    // value is all the rest after the first separator, spaces included.
    const size_t sep = argument.find_first_of(kSeparators, 1);
    if (sep == std::wstring::npos)
        Store(argument.substr(1), std::wstring());
    else
        Store(argument.substr(1, sep - 1), argument.substr(sep + 1));
    return end;
}

const wchar_t* CCmdLineParser::GetValue(const wchar_t* name) const {
    if (!name)
        return nullptr;
    OptionMap::const_iterator it = m_options.find(FoldName(name));
    return it == m_options.end() ? nullptr : it->second.c_str();
}

bool CCmdLineParser::HasOption(const wchar_t* name) const {
    return GetValue(name) != nullptr;
}

bool CCmdLineParser::HasOptionValue(const wchar_t* name) const {
    const wchar_t* value = GetValue(name);
    return value && *value;
}

bool CCmdLineParser::TryGetValue(const wchar_t* name, std::wstring& value) const {
    const wchar_t* found = GetValue(name);
    if (!found)
        return false;
    value = found;
    return true;
}

void CCmdLineParser::GetNextOption(POSITION& pos, std::wstring& name, std::wstring& value) const {
    if (pos == m_options.end()) {
        name.clear();
        return;
    }
    name = pos->first;
    value = pos->second;
    ++pos;
}
