#include "notifier/NotifierCommand.h"

#include "common/AsciiText.h"

namespace {

const wchar_t kPrefix[] = L"command:";
const size_t kPrefixLength = sizeof(kPrefix) / sizeof(kPrefix[0]) - 1;

}  // namespace

bool IsWebAddress(const std::wstring& address) {
    size_t host;
    if (StartsWithNoCase(address, L"http://"))
        host = 7;
    else if (StartsWithNoCase(address, L"https://"))
        host = 8;
    else
        return false;
    // "http:///C:/x" and "http://\\server" name no host.
    if (host >= address.size() || address[host] == L'/' || address[host] == L'\\')
        return false;
    for (wchar_t c : address)
        if (c <= L' ' || c == 0x7F)
            return false;
    return true;
}

bool ParseNotifierCommand(const std::wstring& address, CNotifierCommand& command) {
    if (address.compare(0, kPrefixLength, kPrefix) != 0)
        return false;

    std::vector<std::wstring> fields;
    size_t pos = kPrefixLength;
    while (pos < address.size()) {
        size_t bar = address.find(L'|', pos);
        if (bar == std::wstring::npos)
            bar = address.size();
        if (bar > pos)
            fields.push_back(address.substr(pos, bar - pos));
        pos = bar + 1;
    }

    CNotifierCommand parsed;
    if (!fields.empty()) {
        parsed.name = fields.front();
        parsed.arguments.assign(fields.begin() + 1, fields.end());
    }
    command = parsed;
    return true;
}

NotifierAction ChooseNotifierAction(const CNotifierCommand& command) {
    if (command.name == L"close")
        return NotifierAction::Close;
    if (command.name == L"external" && !command.arguments.empty() && IsWebAddress(command.arguments.front()))
        return NotifierAction::OpenExternal;
    return NotifierAction::None;
}
