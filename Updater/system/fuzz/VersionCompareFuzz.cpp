// Arbitrary version texts from manifests and products files: comparing must
// be antisymmetric and agree with the two predicates built on it.
#include "system/Version.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first 0xFF byte (if any) splits the input into the two versions.
    std::wstring a, b;
    std::wstring* into = &a;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && into == &a) {
            into = &b;
            continue;
        }
        *into += static_cast<wchar_t>(data[i]);
    }
    const int ab = CompareVersions(a, b);
    const int ba = CompareVersions(b, a);
    if (ab < -1 || ab > 1 || ab != -ba)
        std::abort();
    if (CompareVersions(a, a) != 0)
        std::abort();
    if (IsVersionLess(a, b) != (ab == -1) || IsVersionGreater(a, b) != (ab == 1))
        std::abort();
    return 0;
}
