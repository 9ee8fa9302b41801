#pragma once
// The process's limit of open descriptors: a server that holds a connection per descriptor holds as
// many as this allows.
#include <cstddef>

namespace platform {

// How many descriptors the process may have open now (its soft limit).
size_t DescriptorLimit();
// Raises that limit to `wanted`, or as far towards it as the system lets the process (its hard limit);
// a limit that is higher already stays. The limit then.
size_t RaiseDescriptorLimit(size_t wanted);

} // namespace platform
