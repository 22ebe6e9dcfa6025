// Reads the process token. Kept in a file of its own so that tests can link a
// substitute identity in its place.
#include "system/RunContext.h"

#include "common/Handles.h"
#include "system/SidText.h"

#include <vector>

std::wstring GetProcessUserSidString() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()))
        return std::wstring();

    DWORD size = 0;
    UniqueHeapMem buffer;
    PSID sid = nullptr;
    if (!::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size) &&
        ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.Reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size + 4));
        if (buffer && ::GetTokenInformation(token.Get(), TokenUser, buffer.Get(), size + 4, &size))
            sid = static_cast<TOKEN_USER*>(buffer.Get())->User.Sid;
    }
    token.Reset();
    if (!sid || !::IsValidSid(sid))
        return std::wstring();

    const SID_IDENTIFIER_AUTHORITY* auth = ::GetSidIdentifierAuthority(sid);
    uint8_t authority[6];
    for (int i = 0; i < 6; ++i)
        authority[i] = auth->Value[i];
    std::vector<uint32_t> subs;
    const DWORD count = *::GetSidSubAuthorityCount(sid);
    for (DWORD i = 0; i < count; ++i) {
        ::SetLastError(0);
        DWORD value = *::GetSidSubAuthority(sid, i);
        if (::GetLastError() != 0)
            break;
        subs.push_back(value);
    }
    return FormatSidText(authority, subs);
}
