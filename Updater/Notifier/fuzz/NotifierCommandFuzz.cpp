// Arbitrary addresses handed to the notification window by its page.
#include "notifier/NotifierCommand.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring address;
    for (size_t i = 0; i + 1 < size; i += 2)
        address += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));

    CNotifierCommand command;
    command.name = L"untouched";
    if (!ParseNotifierCommand(address, command)) {
        if (address.compare(0, 8, L"command:") == 0 || command.name != L"untouched")
            std::abort();
        return 0;
    }
    // The fields, joined by single bars, are the text after the prefix with
    // runs of bars folded and bars at either end dropped.
    std::wstring expected;
    for (size_t i = 8; i < address.size(); ++i) {
        if (address[i] == L'|' && (expected.empty() || expected.back() == L'|'))
            continue;
        expected += address[i];
    }
    if (!expected.empty() && expected.back() == L'|')
        expected.pop_back();
    std::wstring joined = command.name;
    for (const std::wstring& argument : command.arguments) {
        if (argument.empty() || argument.find(L'|') != std::wstring::npos)
            std::abort();
        joined += L"|" + argument;
    }
    if (joined != expected || command.name.find(L'|') != std::wstring::npos)
        std::abort();
    if (command.name.empty() && !command.arguments.empty())
        std::abort();

    NotifierAction action = ChooseNotifierAction(command);
    if ((action == NotifierAction::Close) != (command.name == L"close"))
        std::abort();
    if (action == NotifierAction::OpenExternal) {
        // Only an http or https address with a host and without blanks is
        // ever handed to the system.
        if (command.name != L"external" || command.arguments.empty())
            std::abort();
        const std::wstring& target = command.arguments.front();
        size_t colon = target.find(L"://");
        std::wstring scheme = target.substr(0, colon);
        for (wchar_t& c : scheme)
            c = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
        if (colon == std::wstring::npos || (scheme != L"http" && scheme != L"https") ||
            colon + 3 >= target.size() || target[colon + 3] == L'/' || target[colon + 3] == L'\\')
            std::abort();
        for (wchar_t c : target)
            if (c <= L' ')
                std::abort();
    }
    return 0;
}
