#include "engine/preserved/JournalFiles.h"

#include "catalogue/Product.h"
#include "engine/RunningInstallers.h"
#include "engine/StateFolder.h"
#include "engine/StateTable.h"
#include "engine/preserved/JournalFormat.h"
#include "engine/preserved/RegistryValues.h"
#include "log/LogText.h"
#include "log/Logger.h"
#include "system/FileRead.h"
#include "system/FileWrite.h"
#include "system/Files.h"

bool JournalPreservedValues(const CProduct& product, CSavedValues& saved, std::wstring& journal) {
    const std::wstring path = StateFilePath(JournalFileName(product.intname));
    // A journal still there holds values only it knows: one that can't be
    // read (held, damaged, another product's) is never written over.
    std::string text;
    const FileReadResult found = path.empty() ? FileReadResult::kAbsent : ReadFileIfPresent(path, text);
    if (found != FileReadResult::kAbsent) {
        CJournal left;
        if (found != FileReadResult::kRead || !ParseJournal(text, left) ||
            left.intname != product.intname) {
            Logger::LogRef log;
            log->Write(L"Failed to read journal of preserved registry values %s\n", path.c_str());
            return false;
        }
        AddJournalToSaved(left, saved);
    }
    if (!SavePreservedValues(product, saved)) {
        Logger::LogRef log;
        log->Write(L"Failed to read preserved registry values of %s\n", ForLog(product.intname).c_str());
        return false;
    }
    const CJournal values = JournalOf(product, saved);
    if (values.values.empty()) {
        journal.clear();
        return true;
    }
    // Only the check holding the check-update mutex writes journals.
    if (!path.empty()) {
        RemoveStaleTemporarySiblings(path);
        if (WriteFileDurably(path, FormatJournal(values))) {
            journal = path;
            return true;
        }
    }
    Logger::LogRef log;
    log->Write(L"Failed to write journal of preserved registry values %s\n", path.c_str());
    return false;
}

bool RestoreJournal(const std::wstring& path, const CJournal& journal) {
    CJournal failed = journal;
    failed.values.clear();
    bool kept = true;
    for (size_t i = 0; i < journal.values.size(); ++i) {
        if (!WriteBackValue(journal.values[i])) {
            failed.values.push_back(journal.values[i]);
            continue;
        }
        // What is still to be written back, without what just was: a value
        // that keeps failing is then retried alone, and a value written here
        // and changed by the user since is never written over again.
        CJournal rest = failed;
        rest.values.insert(rest.values.end(),
                           journal.values.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                           journal.values.end());
        kept = rest.values.empty() ? RemoveFileIfPresent(path)
                                   : WriteFileDurably(path, FormatJournal(rest));
    }
    if (failed.values.empty() && !kept) {
        // Left on the disk, its values would be written back again over
        // what the user changes from now on.
        Logger::LogRef log;
        log->Write(L"Failed to remove journal of preserved registry values %s\n", path.c_str());
        return false;
    }
    return failed.values.empty();
}

void RestorePreservedValuesLeftBehind() {
    Logger::LogRef log;
    const std::wstring folder = StateFolder();
    if (folder.empty())
        return;
    const CRunningInstallers running(StateFilePath(kRunningInstallersFile));
    for (const std::wstring& path : ListFilesNamed(folder, kJournalPrefix, kJournalSuffix)) {
        std::string text;
        if (!ReadWholeFile(path, text))
            continue;  // held by someone: tried again at the next check
        CJournal journal;
        if (!ParseJournal(text, journal)) {
            if (SetAsideDamagedFile(path))
                log->Write(L"Damaged journal of preserved registry values set aside as %s\n",
                           DamagedStatePath(path).c_str());
            else
                log->Write(L"Damaged journal of preserved registry values %s\n", path.c_str());
            continue;
        }
        // Its values are out of the way of an installer that still runs.
        if (running.IsRunning(journal.intname))
            continue;
        if (!RestoreJournal(path, journal)) {
            log->Write(L"Failed to restore preserved registry values of %s\n",
                       ForLog(journal.intname).c_str());
            continue;
        }
        log->Write(L"Restored preserved registry values of %s\n", ForLog(journal.intname).c_str());
    }
}
