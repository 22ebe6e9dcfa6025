// Plays a program that runs while an update is under way (a product's
// clean-up program, any process of the same account) and goes for the
// staged installer. Started with the installer's file name; looks for it in
// every folder of the temporary folder and tries to put its own bytes there
// or take the file away. Appends one line per staged copy found to the file
// named by QM_TAMPER_LOG:
//   <folder> TAB copy-over=<r> TAB move-over=<r> TAB move-away=<r> TAB
//   write=<r> TAB delete=<r> TAB rename-folder=<r> TAB acl=<SIDs>
// where <r> is "done" or the system error and <SIDs> are those the folder's
// access list grants anything, comma-separated.
#include <windows.h>
#include <sddl.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    char buffer[2048] = {0};
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, sizeof buffer - 1, nullptr,
                          nullptr);
    return buffer;
}

std::string Result(BOOL done) {
    return done ? "done" : std::to_string(::GetLastError());
}

std::string AclSids(const std::wstring& folder) {
    char descriptor[4096];
    DWORD needed = 0;
    BOOL present = FALSE, defaulted = FALSE;
    ACL* acl = nullptr;
    if (!::GetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor,
                            sizeof descriptor, &needed) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !acl)
        return "none";
    std::string sids;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        wchar_t* text = nullptr;
        if (::GetAce(acl, i, reinterpret_cast<void**>(&ace)) &&
            ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            ::ConvertSidToStringSidW(&ace->SidStart, &text)) {
            sids += (sids.empty() ? "" : ",") + Utf8(text);
            ::LocalFree(text);
        }
    }
    return sids;
}

std::string Attack(const std::wstring& folder, const std::wstring& staged,
                   const std::wstring& self, const std::wstring& decoy) {
    std::string line = Utf8(folder);
    line += "\tcopy-over=" + Result(::CopyFileW(self.c_str(), staged.c_str(), FALSE));
    ::CopyFileW(self.c_str(), decoy.c_str(), FALSE);
    line += "\tmove-over=" +
            Result(::MoveFileExW(decoy.c_str(), staged.c_str(), MOVEFILE_REPLACE_EXISTING));
    line += "\tmove-away=" + Result(::MoveFileW(staged.c_str(), (staged + L".away").c_str()));
    HANDLE writer = ::CreateFileW(staged.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    line += "\twrite=" + Result(writer != INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE)
        ::CloseHandle(writer);
    line += "\tdelete=" + Result(::DeleteFileW(staged.c_str()));
    line += "\trename-folder=" + Result(::MoveFileW(folder.c_str(), (folder + L"-away").c_str()));
    line += "\tacl=" + AclSids(folder);
    ::DeleteFileW(decoy.c_str());
    return line + "\n";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return 1;
    wchar_t temp[MAX_PATH] = {0}, self[MAX_PATH] = {0}, log[MAX_PATH] = {0};
    ::GetTempPathW(MAX_PATH, temp);
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ::GetEnvironmentVariableW(L"QM_TAMPER_LOG", log, MAX_PATH);
    std::wstring tempFolder = temp;
    std::wstring decoy = tempFolder + L"tamper-decoy.exe";
    std::string lines;
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((tempFolder + L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || entry.cFileName[0] == L'.')
                continue;
            std::wstring folder = tempFolder + entry.cFileName;
            std::wstring staged = folder + L"\\" + argv[1];
            DWORD attributes = ::GetFileAttributesW(staged.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                lines += Attack(folder, staged, self, decoy);
        } while (::FindNextFileW(find, &entry));
        ::FindClose(find);
    }
    HANDLE out = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0,
                               nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written = 0;
    ::WriteFile(out, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    ::CloseHandle(out);
    return 0;
}
