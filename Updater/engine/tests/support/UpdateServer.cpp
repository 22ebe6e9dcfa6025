#include "updateserver/UpdateServer.h"

#include "testsupport/TestSupport.h"

#include <windows.h>

namespace testsupport {

namespace {

const wchar_t kPython[] = L"Z:\\usr\\bin\\python3";

std::wstring PortFile(const std::wstring& root) { return root + L"\\port.txt"; }

}  // namespace

std::string UnixPath(const std::wstring& windowsPath) {
    typedef char*(__cdecl * ToUnix)(const wchar_t*);
    ToUnix toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return std::string();
    char* unix = toUnix(windowsPath.c_str());
    if (!unix)
        return std::string();
    std::string path(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return path;
}

UpdateServer::UpdateServer(const std::wstring& root) : m_root(root), m_port(0) {
    ::DeleteFileW(PortFile(root).c_str());
    std::string script = UnixPath(SourcePath(L"Updater/engine/tests/server/update_server.py"));
    std::string unixRoot = UnixPath(root);
    if (script.empty() || unixRoot.empty())
        return;
    std::wstring args = L"\"" + Widen(script) + L"\" --root \"" + Widen(unixRoot) +
                        L"\" --lifetime 600 --stall 2";
    HANDLE process = StartProcess(kPython, args);
    if (process)
        ::CloseHandle(process);
    std::wstring portFile = PortFile(root);
    WaitFor(
        [&] {
            std::string text;
            if (!ReadFileBytes(portFile, text) || text.empty())
                return false;
            m_port = atoi(text.c_str());
            return m_port != 0;
        },
        30000);
}

UpdateServer::~UpdateServer() {
    if (!m_port)
        return;
    // The server watches its port file and ends once it is gone.
    ::DeleteFileW(PortFile(m_root).c_str());
    std::wstring alive = m_root + L"\\server.alive";
    WaitFor([&] { return !FileExists(alive); }, 10000);
}

std::wstring UpdateServer::Url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(m_port) + L"/" + path;
}

std::string UpdateServer::Requests() const {
    std::string text;
    ReadFileBytes(m_root + L"\\requests.log", text);
    return text;
}

}  // namespace testsupport
