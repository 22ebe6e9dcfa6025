// Test-only substitute: programs linked with it are never members of the
// Administrators group. Never linked into what ships.
#include "system/Identity.h"

bool IsAdministrator() { return false; }
