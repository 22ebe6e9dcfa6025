#pragma once

#include <string>

// Dotted product versions ("1.10.2") compared numerically field by field.
// Consecutive and leading dots count as one separator; a field counts by its
// leading digits (strtol-like, saturating at the 32-bit range), so "1.2b" is
// 1.2 and an empty or letter-only field is 0. When one string runs out of
// fields, one more step compares its 0 with the other's field and an equal
// step ends the comparison.

// +1 when a is the higher version, -1 when b is, 0 when they count as equal.
int CompareVersions(std::wstring a, std::wstring b);

// True exactly when CompareVersions(a, b) is -1: b is newer than a.
bool IsVersionLess(std::wstring a, std::wstring b);

// True exactly when CompareVersions(a, b) is +1: a is newer than b.
bool IsVersionGreater(std::wstring a, std::wstring b);
