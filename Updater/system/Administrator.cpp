// Kept apart from the other identity operations so that a test build of the
// Updater can link a different answer (tests/support/NonAdministratorIdentity.cpp).
#include "system/Identity.h"

namespace {

const unsigned long kAdministratorsRid = 544;  // DOMAIN_ALIAS_RID_ADMINS

}  // namespace

bool IsAdministrator() {
    return CheckBuiltinGroupMembership(nullptr, kAdministratorsRid);
}
