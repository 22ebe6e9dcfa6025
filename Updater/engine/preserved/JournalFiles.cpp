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

std::wstring JournalPreservedValues(const CProduct& product, CSavedValues& saved) {
    const std::wstring path = StateFilePath(JournalFileName(product.intname));
    CJournal left;
    if (ReadJournal(path, left) && left.intname == product.intname)
        AddJournalToSaved(left, saved);
    SavePreservedValues(product, saved);
    const CJournal journal = JournalOf(product, saved);
    if (journal.values.empty())
        return std::wstring();
    // Only the check holding the check-update mutex writes journals.
    if (!path.empty()) {
        RemoveStaleTemporarySiblings(path);
        if (WriteFileDurably(path, FormatJournal(journal)))
            return path;
    }
    Logger::LogRef log;
    log->Write(L"Failed to write journal of preserved registry values %s\n", path.c_str());
    return std::wstring();
}

void RemovePreservedValuesJournal(const std::wstring& path) {
    if (!path.empty())
        RemoveFile(path);
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
        if (!WriteBackJournal(journal)) {
            log->Write(L"Failed to restore preserved registry values of %s\n",
                       journal.intname.c_str());
            continue;
        }
        RemoveFile(path);
        log->Write(L"Restored preserved registry values of %s\n", journal.intname.c_str());
    }
}
