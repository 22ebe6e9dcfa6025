#pragma once

#include <cstdint>

// The system's clock in UTC as whole seconds since 1970-01-01T00:00:00Z.
int64_t UtcNowSeconds();
