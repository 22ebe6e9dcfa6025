#include "engine/UpdateEngine.h"

#include "engine/NotificationFile.h"
#include "engine/ProgramRun.h"
#include "engine/TransferSession.h"
#include "engine/WaitLimits.h"
#include "log/LogText.h"
#include "log/Logger.h"
#include "system/Digest.h"
#include "system/Folders.h"
#include "system/FreshFile.h"
#include "system/Leftovers.h"
#include "system/RandomName.h"
#include "system/RunContext.h"
#include "system/TextCodec.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

void CUpdateEngine::NotifyAboutUpdates(const std::vector<CNotice>& notices,
                                       CTransferSession& session) {
    std::wstring notifier = GetExeFolder() + L"\\notifier.exe";
    for (const CNotice& wanted : notices) {
        CFreshFile notice;
        std::wstring file = WriteNotificationFile(wanted, session, notice);
        if (file.empty())
            continue;  // whatever was at the path is never shown
        std::wstring arguments = L"-notificationfile=\"" + file + L"\"";
        // A Notifier started by the system account would show on a desktop no
        // user sees; it goes to the console user instead. A notice nobody
        // closes is closed after the limit, so that it can't hold the check;
        // a browser opened from it is the user's and outlives it.
        RunProgramWithLimit(notifier, arguments, GetWaitLimits().notifierMs,
                            ChildProcesses::kSetFree, IsLocalSystem());
        notice.Delete();
    }
}

std::wstring CUpdateEngine::WriteNotificationFile(const CNotice& notice,
                                                 CTransferSession& session, CFreshFile& file) {
    // A server given up earlier in this check is not asked (the notice
    // comes without its text); one given up now is recorded like any other.
    std::string document;
    const std::wstring& address = notice.whatsNewUrl;
    if (!address.empty())
        session.LogGivenUp(address, session.FetchBytes(address, document));
    // A document its publisher signed for is shown only as signed: the
    // notice speaks in the publisher's words.
    std::vector<uint8_t> digest;
    if (notice.hasDigest && !document.empty() &&
        (!ComputeDigest(DigestAlgorithm::Sha256, document.data(), document.size(), digest) ||
         digest.size() != sizeof notice.digest ||
         std::memcmp(digest.data(), notice.digest, sizeof notice.digest) != 0)) {
        Logger::LogRef log;
        log->Write(L"What's-new document of %s does not match its signed digest\n",
                   ForLog(notice.intname).c_str());
        document.clear();
    }
    // The document ends before its first zero byte.
    document.resize(std::min(document.find('\0'), document.size()));
    std::string content = ComposeNotificationFile(WideToUtf8(GetExeFolder()), document);
    // A name of its own for every notice: the folder is shared by all users,
    // and what one of them left at a known name would block every notice.
    const std::wstring random = RandomName();
    const std::wstring path = GetCommonAppDataPath(
        LeftoverName(kNoticePrefix, ::GetCurrentProcessId(), random) + kNoticeSuffix);
    if (random.empty()) {
        Logger::LogRef log;
        log->Write(L"Failed to name a notification file; notice not shown\n");
        return std::wstring();
    }
    FreshFileResult result = file.Write(path, content);
    if (result == FreshFileResult::Written)
        return path;
    Logger::LogRef log;
    if (result == FreshFileResult::NotRemoved)
        log->Write(L"Failed to replace notification file %s; notice not shown\n", path.c_str());
    else
        log->Write(L"Failed to create notification file %s; notice not shown\n", path.c_str());
    return std::wstring();
}
