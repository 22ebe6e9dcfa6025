#include "engine/Report.h"

#include "common/TextNumbers.h"
#include "system/TextCodec.h"

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~';
}

}  // namespace

const wchar_t* ReportResultName(ReportResult result) {
    switch (result) {
    case ReportResult::kInstalled:
        return L"installed";
    case ReportResult::kFailed:
        return L"failed";
    case ReportResult::kTimedOut:
        return L"timedout";
    case ReportResult::kNotRegistered:
        return L"notregistered";
    case ReportResult::kRefused:
        break;
    }
    return L"refused";
}

std::wstring PercentEncoded(const std::wstring& text) {
    std::wstring encoded;
    for (unsigned char c : WideToUtf8(text)) {
        if (IsUnreserved(c)) {
            encoded += static_cast<wchar_t>(c);
            continue;
        }
        static const char kDigits[] = "0123456789ABCDEF";
        encoded += L'%';
        encoded += static_cast<wchar_t>(kDigits[c >> 4]);
        encoded += static_cast<wchar_t>(kDigits[c & 0xF]);
    }
    return encoded;
}

std::string MachineText(const std::wstring& id, const std::wstring& intname) {
    return WideToUtf8(id + L"|" + intname);
}

std::wstring ReportAddress(const std::wstring& reportUrl, const std::wstring& intname,
                           const std::wstring& from, const std::wstring& to, ReportResult result,
                           uint32_t code, const uint8_t (&machineDigest)[32]) {
    std::wstring address = reportUrl.substr(0, reportUrl.find(L'#'));
    // A query of its own goes on with "&"; one that ends open takes the
    // parameters as they are.
    if (address.find(L'?') == std::wstring::npos)
        address += L'?';
    else if (address.back() != L'?' && address.back() != L'&')
        address += L'&';
    address += L"intname=" + PercentEncoded(intname) + L"&from=" + PercentEncoded(from) +
               L"&to=" + PercentEncoded(to) + L"&result=" + ReportResultName(result) +
               L"&code=" + HexText(code, 8) + L"&machine=" + HexBytes(machineDigest, 8);
    return address;
}
