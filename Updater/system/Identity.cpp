#include "system/Identity.h"

#include "common/Handles.h"

#include <windows.h>
#include <objbase.h>
#include <rpc.h>

namespace {

const DWORD kBuiltinDomainRid = 32;  // SECURITY_BUILTIN_DOMAIN_RID

// Owner of a SID made by AllocateAndInitializeSid.
struct SidTraits {
    typedef PSID Type;
    static Type Invalid() { return nullptr; }
    static void Close(Type p) { ::FreeSid(p); }
};
typedef UniqueResource<SidTraits> UniqueSid;

}  // namespace

bool CheckBuiltinGroupMembership(void* token, unsigned long relativeId) {
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    UniqueSid group;
    if (!::AllocateAndInitializeSid(&nt, 2, kBuiltinDomainRid, relativeId, 0, 0, 0, 0, 0, 0,
                                    group.Put()))
        return false;
    BOOL member = FALSE;
    if (!::CheckTokenMembership(static_cast<HANDLE>(token), group.Get(), &member))
        return false;
    return member != FALSE;
}

std::wstring GetCurrentUserName() {
    wchar_t name[261] = {0};
    DWORD size = 260;
    // On failure the buffer stays empty, which is the neutral result.
    ::GetUserNameW(name, &size);
    name[260] = 0;
    return name;
}

std::wstring CreateGuidString() {
    UUID id;
    ::UuidCreate(&id);  // a local-only id is as good as a global one here
    LPOLESTR text = nullptr;
    if (FAILED(::StringFromCLSID(id, &text)) || !text)
        return std::wstring();
    UniqueCoTaskMem owner(text);
    return text;
}
