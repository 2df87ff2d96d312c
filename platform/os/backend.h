// What each system's backend of the operating-system layer gives the parts of
// the layer that are the same everywhere.
#pragma once

namespace mirel::os::detail {

// Processors this process may run on, as the system says; may be 0 when it
// cannot tell.
int systemProcessorCount();

}  // namespace mirel::os::detail
