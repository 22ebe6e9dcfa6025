#include "system/Leftovers.h"

#include "common/TextNumbers.h"

#include <cwchar>

const wchar_t kStagingPrefix[] = L"qmstage-";
const wchar_t kNoticePrefix[] = L"whatsnew-";
const wchar_t kNoticeSuffix[] = L".xml";

namespace {

const size_t kRandomDigits = 32;

bool IsHexDigits(const std::wstring& text) {
    for (wchar_t c : text)
        if (HexValue(c) < 0)
            return false;
    return true;
}

bool ReadProcessId(const std::wstring& digits, uint32_t& id) {
    uint64_t value = 0;
    if (digits.size() > 10 || !ParseDecimal(digits, 0xFFFFFFFFu, value) || value == 0)
        return false;
    id = static_cast<uint32_t>(value);
    return true;
}

// The part of name between prefix and suffix; false when either is missing.
bool Between(const std::wstring& name, const std::wstring& prefix, const std::wstring& suffix,
             std::wstring& middle) {
    if (name.size() < prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    return true;
}

}  // namespace

std::wstring LeftoverName(const wchar_t* prefix, uint32_t makerId, const std::wstring& random) {
    return prefix + DecimalText(makerId) + L"-" + random;
}

bool ReadLeftoverName(const std::wstring& name, const wchar_t* prefix, const wchar_t* suffix,
                      bool& makerKnown, uint32_t& makerId) {
    std::wstring middle;
    if (!Between(name, prefix, suffix, middle) || middle.size() < kRandomDigits ||
        !IsHexDigits(middle.substr(middle.size() - kRandomDigits)))
        return false;
    if (middle.size() == kRandomDigits) {
        makerKnown = false;
        return true;
    }
    const size_t dash = middle.size() - kRandomDigits - 1;
    uint32_t id = 0;
    if (middle[dash] != L'-' || !ReadProcessId(middle.substr(0, dash), id))
        return false;
    makerKnown = true;
    makerId = id;
    return true;
}

bool ReadSiblingName(const std::wstring& name, const std::wstring& base, uint32_t& makerId) {
    std::wstring digits;
    return Between(name, base + L".", L".tmp", digits) && ReadProcessId(digits, makerId);
}

bool ShouldSweep(const LeftoverFacts& facts) {
    if (facts.makerKnown && facts.makerIsSelf)
        return false;
    return facts.ageSeconds > kLeftoverMaxAgeSeconds || (facts.makerKnown && !facts.makerRunning);
}
