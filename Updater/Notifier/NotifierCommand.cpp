#include "NotifierCommand.h"

namespace {

const wchar_t kPrefix[] = L"command:";
const size_t kPrefixLength = sizeof(kPrefix) / sizeof(kPrefix[0]) - 1;

}  // namespace

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
    if (command.name == L"external" && !command.arguments.empty())
        return NotifierAction::OpenExternal;
    return NotifierAction::None;
}
