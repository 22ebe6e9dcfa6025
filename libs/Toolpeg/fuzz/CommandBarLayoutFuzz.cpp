// Arbitrary stored layouts and catalogues: the target button always ends up
// first, and no other stored entry is lost or reordered.
#include "toolpeg/CommandBarLayout.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

namespace {

const wchar_t kToolbarClass[] = L"{1fba04ee-3024-11d2-8f1f-0000f87abd16}";

std::vector<CButtonRecord> ConsumeKeys(FuzzedDataProvider& in) {
    std::vector<CButtonRecord> keys(in.ConsumeIntegralInRange<size_t>(0, 6));
    for (CButtonRecord& key : keys) {
        key.name = std::wstring(1, static_cast<wchar_t>(L'a' + in.ConsumeIntegralInRange<int>(0, 4)));
        key.classId = in.ConsumeBool() ? kToolbarClass : L"{other}";
        key.defaultVisible = in.ConsumeBool() ? L"YeS" : L"no";
    }
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    int generation = in.ConsumeIntegralInRange<int>(6, 9);
    std::wstring target(1, static_cast<wchar_t>(L'a' + in.ConsumeIntegralInRange<int>(0, 4)));
    std::vector<CButtonRecord> user = ConsumeKeys(in);
    std::vector<CButtonRecord> machine = ConsumeKeys(in);
    CButtonCatalogue catalogue =
        BuildButtonCatalogue(user, machine, in.ConsumeBool() ? 272u : 361u);
    std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
    CCommandBarLayout stored = DecodeLayoutValue(bytes);
    if (stored.size() != bytes.size() / 4 || EncodeLayoutValue(stored).size() != stored.size() * 4)
        std::abort();

    CCommandBarLayout result = {0xdeadbeef};
    if (!ComputeCommandBarLayout(stored, catalogue, target, generation, result)) {
        if (result.size() != 1 || result[0] != 0xdeadbeef)  // untouched on refusal
            std::abort();
        return 0;
    }
    const uint32_t id = catalogue.at(target).id;
    if (result.size() < 2 || result[1] != id)
        std::abort();
    if (stored.empty())
        return 0;
    if (result[0] != stored[0])
        std::abort();
    // The rest is the stored buttons without the target, in stored order.
    size_t k = 2, occurrences = 0;
    for (size_t i = 1; i < stored.size(); ++i) {
        if (stored[i] == id) {
            ++occurrences;
            continue;
        }
        if (k >= result.size() || result[k++] != stored[i])
            std::abort();
    }
    if (k != result.size())
        std::abort();
    if (occurrences <= 1 && result.size() != stored.size() + (occurrences ? 0 : 1))
        std::abort();
    return 0;
}
