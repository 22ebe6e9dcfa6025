#include "toolpeg/ButtonCatalogue.h"

namespace {

const wchar_t kToolbarButtonClassId[] = L"{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Both texts are plain ASCII words or GUIDs; folding only A-Z keeps the
// comparison independent of any locale.
bool EqualsIgnoringAsciiCase(const std::wstring& text, const wchar_t* expected) {
    size_t i = 0;
    for (; expected[i] != L'\0'; ++i) {
        if (i >= text.size() || FoldAscii(text[i]) != FoldAscii(expected[i]))
            return false;
    }
    return i == text.size();
}

void AddToolbarButtons(const std::vector<CButtonRecord>& keys, uint32_t& nextId,
                       CButtonCatalogue& catalogue) {
    for (const CButtonRecord& key : keys) {
        if (!IsToolbarButtonClassId(key.classId))
            continue;
        CButtonRecord record = key;
        record.id = nextId++;
        catalogue[record.name] = record;
    }
}

}  // namespace

bool IsToolbarButtonClassId(const std::wstring& classId) {
    return EqualsIgnoringAsciiCase(classId, kToolbarButtonClassId);
}

bool IsDefaultVisible(const std::wstring& defaultVisible) {
    return EqualsIgnoringAsciiCase(defaultVisible, L"yes");
}

CButtonCatalogue BuildButtonCatalogue(const std::vector<CButtonRecord>& userKeys,
                                      const std::vector<CButtonRecord>& machineKeys,
                                      uint32_t firstId) {
    CButtonCatalogue catalogue;
    uint32_t nextId = firstId;
    AddToolbarButtons(userKeys, nextId, catalogue);
    AddToolbarButtons(machineKeys, nextId, catalogue);
    return catalogue;
}
