#include "common/CmdLineParser.h"

#include <cwctype>

namespace {

const wchar_t kPrefixes[] = L"-/";
const wchar_t kSeparators[] = L"=:";
const wchar_t kQuotes[] = L"\"'";

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
