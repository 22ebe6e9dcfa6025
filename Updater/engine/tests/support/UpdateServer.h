#pragma once

// The local update server (tests/server/update_server.py) as seen from a test
// running under Wine: started on construction to serve one folder on
// 127.0.0.1, ended on destruction (the server also ends by itself when its
// port file disappears, so an aborted test leaves nothing running for long).

#include <string>

namespace testsupport {

class UpdateServer {
public:
    // Serves the Windows folder root; waits until the server listens.
    explicit UpdateServer(const std::wstring& root);
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    bool Started() const { return m_port != 0; }
    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>/" followed by path.
    std::wstring Url(const std::wstring& path) const;
    // The request paths received so far, one "GET <path>" line each.
    std::string Requests() const;

private:
    std::wstring m_root;
    int m_port;
};

// The Unix path of a Windows path (Wine's own mapping); empty when there is
// none.
std::string UnixPath(const std::wstring& windowsPath);

}  // namespace testsupport
