#pragma once
// The process's limit of open descriptors: a server that holds a connection per descriptor holds as
// many as this allows.
#include <cstddef>

namespace platform {

// How many descriptors the process may have open now (its soft limit).
size_t DescriptorLimit();
// Raises that limit as far as the system lets the process raise it (its hard limit); the limit then.
size_t RaiseDescriptorLimit();

} // namespace platform
