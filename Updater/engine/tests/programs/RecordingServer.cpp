// A COM server library that only records being unregistered: regsvr32 /u
// calls DllUnregisterServer, which appends "RecordingServer.dll TAB
// unregister TAB <own path>" to the file named by QM_RECORD.
#include <windows.h>

#include <string>

namespace {
HMODULE g_module = nullptr;

void Record(const char* what) {
    wchar_t path[2048];
    DWORD n = ::GetEnvironmentVariableW(L"QM_RECORD", path, 2048);
    if (n == 0 || n >= 2048)
        return;
    char self[MAX_PATH] = {0};
    ::GetModuleFileNameA(g_module, self, MAX_PATH);
    std::string line = std::string("RecordingServer.dll\t") + what + "\t" + self + "\n";
    HANDLE f = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0,
                             nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(f);
}
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    Record("register");
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
    Record("unregister");
    return S_OK;
}
