#include "engine/RolloutDraw.h"

#include "engine/Report.h"
#include "engine/Rollout.h"
#include "system/Digest.h"

#include <cstring>
#include <vector>

namespace {

bool Sha256(const std::string& text, uint8_t (&digest)[32]) {
    std::vector<uint8_t> taken;
    if (!ComputeDigest(DigestAlgorithm::Sha256, text.data(), text.size(), taken) ||
        taken.size() != sizeof digest)
        return false;
    std::memcpy(digest, taken.data(), sizeof digest);
    return true;
}

}  // namespace

bool DrawRolloutBucket(const std::wstring& id, const std::wstring& intname,
                       const std::wstring& version, unsigned& bucket) {
    uint8_t digest[32];
    if (!Sha256(RolloutText(id, intname, version), digest))
        return false;
    bucket = RolloutBucket(digest);
    return true;
}

bool DrawMachineDigest(const std::wstring& id, const std::wstring& intname,
                       uint8_t (&digest)[32]) {
    return Sha256(MachineText(id, intname), digest);
}
