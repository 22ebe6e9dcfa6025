#include "engine/Sweep.h"

#include "catalogue/ProductStore.h"
#include "engine/StateFolder.h"
#include "engine/preserved/JournalFormat.h"
#include "system/Files.h"
#include "system/Folders.h"
#include "system/Leftovers.h"

#include <windows.h>

namespace {

LeftoverFacts FactsOf(const FolderEntry& entry, bool makerKnown, uint32_t maker) {
    return LeftoverFacts{makerKnown, makerKnown && !IsProcessGone(maker),
                         makerKnown && maker == ::GetCurrentProcessId(), entry.ageSeconds};
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The state file that a temporary sibling's name belongs to; empty for a
// name that is no sibling of ours.
std::wstring SiblingBase(const std::wstring& name, const std::wstring& productsFile) {
    const size_t dot = name.size() > 4 ? name.rfind(L'.', name.size() - 5) : std::wstring::npos;
    if (dot == std::wstring::npos)
        return std::wstring();
    const std::wstring base = name.substr(0, dot);
    for (const wchar_t* ours : {kInstallFailuresFile, kIssuedTimesFile, kRunningInstallersFile,
                                kMachineIdFile})
        if (base == ours)
            return base;
    if (base == productsFile ||
        (base.compare(0, ::lstrlenW(kJournalPrefix), kJournalPrefix) == 0 &&
         EndsWith(base, kJournalSuffix)))
        return base;
    return std::wstring();
}

}  // namespace

void SweepLeftovers() {
    const std::wstring temp = GetTempFolder();
    for (const FolderEntry& entry : ListEntriesNamed(temp, kStagingPrefix, L"")) {
        bool known = false;
        uint32_t maker = 0;
        if (!entry.isFolder || !ReadLeftoverName(entry.name, kStagingPrefix, L"", known, maker) ||
            !ShouldSweep(FactsOf(entry, known, maker)))
            continue;
        // An installer of a check that died may still run from it.
        const std::wstring folder = JoinPath(temp, entry.name);
        if (IsFolderLink(folder) || IsFolderFree(folder))
            DeleteFolderTree(folder);
    }

    const std::wstring notices = GetCommonAppDataPath(L"");
    for (const FolderEntry& entry : ListEntriesNamed(notices, kNoticePrefix, kNoticeSuffix)) {
        bool known = false;
        uint32_t maker = 0;
        // One that a Notifier shows is held open by its check and stays.
        if (!entry.isFolder &&
            ReadLeftoverName(entry.name, kNoticePrefix, kNoticeSuffix, known, maker) &&
            ShouldSweep(FactsOf(entry, known, maker)))
            RemoveFile(JoinPath(notices, entry.name));
    }

    const std::wstring state = StateFolder();
    if (state.empty())
        return;
    const std::wstring products = CProductStore().CheckedProductsPath();
    const std::wstring productsFile = products.substr(products.find_last_of(L"\\/") + 1);
    for (const FolderEntry& entry : ListEntriesNamed(state, L"", L".tmp")) {
        const std::wstring base = SiblingBase(entry.name, productsFile);
        if (!entry.isFolder && !base.empty())
            RemoveStaleTemporarySiblings(JoinPath(state, base));
    }
}
