#include "UpdateEngine.h"

#include "catalogue/Update.h"
#include "engine/Download.h"
#include "engine/InstallerName.h"
#include "system/Folders.h"
#include "system/Md5Text.h"
#include "system/TextCodec.h"

#include <windows.h>

#include <cwchar>

namespace {

const size_t kDigestChars = 32;

}  // namespace

std::wstring CUpdateEngine::DownloadInstaller(const CUpdate& update) {
    // intname and version come from the network: a name that could leave the
    // temporary folder counts as a failed download.
    std::wstring fileName;
    if (!MakeInstallerFileName(update.intname, update.version, fileName))
        return std::wstring();
    std::wstring path = GetTempFilePath(fileName);
    if (path.empty() || path.size() >= MAX_PATH)
        return std::wstring();

    // A failed download may leave a partial file, or one of an earlier
    // interrupted attempt may still be there: neither may look like an
    // installer to whoever finds it later.
    if (!DownloadUrlToFile(update.installerurl, path)) {
        ::DeleteFileW(path.c_str());
        return std::wstring();
    }

    std::string checksum = FetchUrlText(update.installerurl + L".md5");
    if (checksum.size() > kDigestChars)
        checksum.resize(kDigestChars);
    std::wstring expected = BytesToWide(checksum.data(), checksum.size(), CodePage::ThreadAnsi);

    uint8_t digest[16];
    bool computed = ComputeFileMd5(path, digest);
    if (!computed || _wcsicmp(expected.c_str(), FormatMd5Hex(digest).c_str()) != 0) {
        ::DeleteFileW(path.c_str());
        return std::wstring();
    }
    return path;
}
