#include "engine/InstallerName.h"

namespace {

bool IsSafeNamePart(const std::wstring& part) {
    if (part.find(L"..") != std::wstring::npos)
        return false;
    for (wchar_t c : part) {
        if (c < 0x20 || c == 0x7F)
            return false;
        switch (c) {
            case L'\\': case L'/': case L':': case L'<': case L'>':
            case L'"':  case L'|': case L'?': case L'*':
                return false;
            default:
                break;
        }
    }
    return true;
}

}  // namespace

bool MakeInstallerFileName(const std::wstring& intname, const std::wstring& version,
                           std::wstring& name) {
    if (!IsSafeNamePart(intname) || !IsSafeNamePart(version))
        return false;
    name = L"Setup_" + intname + L"-" + version + L".exe";
    return true;
}
