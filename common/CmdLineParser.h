#pragma once

#include <map>
#include <string>

// Named options of a program's command line ("-name=value", "/name:value",
// quoted values). The grammar is loose on purpose: it scans for option
// prefixes anywhere and never reports a syntax error; what it can't make sense
// of is skipped. An argument quoted whole, as Windows programs and installer
// tools quote one ("-info=C:\Program Files\p.xml"), is read the way the C
// runtime reads an argument and is one option, its value the rest of the
// argument after the separator.
class CCmdLineParser {
public:
    typedef std::map<std::wstring, std::wstring> OptionMap;
    typedef OptionMap::const_iterator POSITION;

    // Parses cmdLine at once unless it is null. With caseSensitive false,
    // option names are folded to lower case when stored and when looked up.
    explicit CCmdLineParser(const wchar_t* cmdLine = nullptr, bool caseSensitive = false);
    virtual ~CCmdLineParser();

    CCmdLineParser(const CCmdLineParser&) = delete;
    CCmdLineParser& operator=(const CCmdLineParser&) = delete;

    // Replaces the command line and all options; a null text changes nothing.
    void Parse(const wchar_t* cmdLine);

    // The stored value (empty when the option had none), or null when the
    // option is absent. Valid until the next Parse or destruction.
    const wchar_t* GetValue(const wchar_t* name) const;
    bool HasOption(const wchar_t* name) const;
    // Present and with a non-empty value.
    bool HasOptionValue(const wchar_t* name) const;
    // False when absent (value untouched); otherwise copies the value out.
    bool TryGetValue(const wchar_t* name, std::wstring& value) const;

    // Iteration over the options in name order. At the end GetNextOption
    // empties name and leaves value alone.
    POSITION GetFirstOptionPosition() const { return m_options.begin(); }
    bool IsEndPosition(POSITION pos) const { return pos == m_options.end(); }
    void GetNextOption(POSITION& pos, std::wstring& name, std::wstring& value) const;

    const std::wstring& GetCmdLine() const { return m_cmdLine; }

private:
    std::wstring FoldName(const std::wstring& name) const;
    void Store(const std::wstring& name, const std::wstring& value);
    // Stores the option of the argument quoted whole whose opening quote is
    // at quote; returns where the argument ends.
    size_t StoreQuotedArgument(size_t quote);

    std::wstring m_cmdLine;
    OptionMap m_options;
    bool m_caseSensitive;
};
