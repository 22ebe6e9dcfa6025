#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Text form of a security identifier: "S-1-", the identifier authority, then
// "-<n>" per sub-authority in SID order. The authority is decimal when its
// first two bytes are zero, else "0x" and all six bytes as lower-case hex.
// The revision is always written as 1.
std::wstring FormatSidText(const uint8_t (&authority)[6], const std::vector<uint32_t>& subAuthorities);

// The SID text of the local system account.
extern const wchar_t kLocalSystemSid[];
