#include "engine/preserved/JournalFiles.h"

#include "catalogue/Product.h"
#include "engine/StateFolder.h"
#include "engine/preserved/JournalFormat.h"
#include "engine/preserved/RegistryValues.h"
#include "log/Logger.h"
#include "system/FileRead.h"
#include "system/FileWrite.h"
#include "system/Files.h"

namespace {

const wchar_t kDamagedSuffix[] = L".damaged";

bool ReadJournal(const std::wstring& path, CJournal& journal) {
    std::string text;
    return ReadWholeFile(path, text) && ParseJournal(text, journal);
}

}  // namespace

bool JournalPreservedValues(const CProduct& product, CSavedValues& saved, std::wstring& journal) {
    const std::wstring path = StateFilePath(JournalFileName(product.intname));
    CJournal left;
    if (ReadJournal(path, left) && left.intname == product.intname)
        AddJournalToSaved(left, saved);
    SavePreservedValues(product, saved);
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
        if (rest.values.empty())
            RemoveFile(path);
        else
            WriteFileDurably(path, FormatJournal(rest));
    }
    return failed.values.empty();
}

void RestorePreservedValuesLeftBehind() {
    Logger::LogRef log;
    const std::wstring folder = StateFolder();
    if (folder.empty())
        return;
    for (const std::wstring& path : ListFilesNamed(folder, kJournalPrefix, kJournalSuffix)) {
        std::string text;
        if (!ReadWholeFile(path, text))
            continue;  // held by someone: tried again at the next check
        CJournal journal;
        if (!ParseJournal(text, journal)) {
            const std::wstring aside = path + kDamagedSuffix;
            if (ReplaceFileWith(path, aside))
                log->Write(L"Damaged journal of preserved registry values set aside as %s\n",
                           aside.c_str());
            else
                log->Write(L"Damaged journal of preserved registry values %s\n", path.c_str());
            continue;
        }
        if (!RestoreJournal(path, journal)) {
            log->Write(L"Failed to restore preserved registry values of %s\n",
                       journal.intname.c_str());
            continue;
        }
        log->Write(L"Restored preserved registry values of %s\n", journal.intname.c_str());
    }
}
