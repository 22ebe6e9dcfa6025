#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// MD5 digest (RFC 1321) through the platform's cryptographic service. On
// failure the result is false and digest is all zero.
bool ComputeBufferMd5(const void* bytes, size_t count, uint8_t (&digest)[16]);

// FormatMd5Hex of ComputeBufferMd5; 32 zeros when it can't be computed.
std::wstring GetBufferMd5Hex(const void* bytes, size_t count);
