#include "system/StagedFile.h"

#include "log/LogText.h"
#include "log/Logger.h"
#include "system/Files.h"
#include "system/Folders.h"
#include "system/Leftovers.h"
#include "system/RandomName.h"

#include <vector>

namespace {

const int kNameAttempts = 8;
// A program that has just ended may still hold its image file for a moment
// (its deletion then completes only when that hold ends), so the folder is
// removed again for up to 2 s.
const int kRemoveAttempts = 20;
const DWORD kRemovePauseMs = 100;

// A security descriptor whose protected access list grants full control to
// the local system account and the Administrators group only, inherited by
// everything created inside. The buffers live as long as the object.
class SystemOnlyDescriptor {
public:
    SystemOnlyDescriptor() : m_ok(false), m_acl(1024) {
        DWORD systemSize = sizeof m_system;
        DWORD adminsSize = sizeof m_admins;
        ACL* acl = reinterpret_cast<ACL*>(m_acl.data());
        const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        m_ok = ::CreateWellKnownSid(WinLocalSystemSid, nullptr, m_system, &systemSize) &&
               ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, m_admins, &adminsSize) &&
               ::InitializeAcl(acl, static_cast<DWORD>(m_acl.size()), ACL_REVISION) &&
               ::AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, GENERIC_ALL, m_system) &&
               ::AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, GENERIC_ALL, m_admins) &&
               ::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) &&
               ::SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE) &&
               ::SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    }
    SECURITY_DESCRIPTOR* Get() { return m_ok ? &m_descriptor : nullptr; }

private:
    bool m_ok;
    BYTE m_system[SECURITY_MAX_SID_SIZE];
    BYTE m_admins[SECURITY_MAX_SID_SIZE];
    std::vector<BYTE> m_acl;
    SECURITY_DESCRIPTOR m_descriptor;
};

}  // namespace

CStagedFile::~CStagedFile() {
    m_file.Reset();
    m_folderHandle.Reset();
    if (m_folder.empty())
        return;
    for (int attempt = 1; !DeleteFolderTree(m_folder) && FileExists(m_folder); ++attempt) {
        if (attempt == kRemoveAttempts) {
            // Held by a program the installer left running: whoever cleans
            // the temporary folder learns from the log what this is.
            Logger::LogRef log;
            log->Write(L"Failed to remove staged installer folder %s\n", ForLog(m_folder).c_str());
            return;
        }
        ::Sleep(kRemovePauseMs);
    }
}

bool CStagedFile::Create(const std::wstring& parent, const std::wstring& fileName,
                         bool restricted) {
    if (!m_folder.empty() || parent.empty() || fileName.empty())
        return false;
    SystemOnlyDescriptor descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
    if (restricted && !attributes.lpSecurityDescriptor)
        return false;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::wstring random = RandomName();
        if (random.empty())
            return false;
        // A check that is killed leaves the folder; its name tells a later
        // check whose it was.
        std::wstring folder =
            JoinPath(parent, LeftoverName(kStagingPrefix, ::GetCurrentProcessId(), random));
        // CreateDirectoryW never opens an existing folder: one that someone
        // made at this name in advance is passed over, never used.
        if (!::CreateDirectoryW(folder.c_str(), restricted ? &attributes : nullptr)) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return false;
        }
        m_folder = folder;
        m_path = JoinPath(folder, fileName);
        // Held without delete sharing: the folder can't be renamed or
        // removed, and so can't be swapped for another one of that name.
        m_folderHandle.Reset(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return m_folderHandle.IsValid();
    }
    return false;
}

bool CStagedFile::Lock() {
    if (m_path.empty() || m_file)
        return false;
    m_file.Reset(::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file.IsValid();
}

std::wstring CStagedFile::CreateSubfolder(const std::wstring& name) const {
    if (m_folder.empty() || name.empty())
        return std::wstring();
    // Inherits the staging folder's access list, as everything inside it.
    std::wstring folder = JoinPath(m_folder, name);
    return ::CreateDirectoryW(folder.c_str(), nullptr) ? folder : std::wstring();
}
