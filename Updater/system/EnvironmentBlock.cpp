#include "system/EnvironmentBlock.h"

#include <cwchar>

namespace {

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// The variable's name ("NAME" of "NAME=value"; a hidden one's name begins
// with "=") compared with name (upper case), letter case aside: <0, 0, >0.
int CompareName(const std::wstring& variable, const wchar_t* name) {
    size_t end = variable.find(L'=', 1);
    if (end == std::wstring::npos)
        end = variable.size();
    size_t i = 0;
    for (; i < end && name[i]; ++i) {
        wchar_t c = Upper(variable[i]);
        if (c != name[i])
            return c < name[i] ? -1 : 1;
    }
    if (i == end)
        return name[i] ? -1 : 0;
    return 1;
}

// Puts "name=folder" where the system keeps it: in the order of names,
// letter case aside.
void InsertVariable(std::vector<std::wstring>& variables, const wchar_t* name,
                    const std::wstring& folder) {
    size_t at = 0;
    while (at < variables.size() && CompareName(variables[at], name) < 0)
        ++at;
    variables.insert(variables.begin() + at, std::wstring(name) + L"=" + folder);
}

}  // namespace

std::vector<wchar_t> EnvironmentWithTempFolder(const wchar_t* block, const std::wstring& folder) {
    std::vector<std::wstring> variables;
    for (const wchar_t* variable = block; variable && *variable;
         variable += std::wcslen(variable) + 1)
        variables.push_back(variable);
    // Every variable of these names goes, wherever an unsorted block has it,
    // before the new ones find their places.
    for (size_t i = 0; i < variables.size();) {
        if (CompareName(variables[i], L"TEMP") == 0 || CompareName(variables[i], L"TMP") == 0)
            variables.erase(variables.begin() + i);
        else
            ++i;
    }
    InsertVariable(variables, L"TEMP", folder);
    InsertVariable(variables, L"TMP", folder);
    std::vector<wchar_t> result;
    for (const std::wstring& variable : variables) {
        result.insert(result.end(), variable.begin(), variable.end());
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}
