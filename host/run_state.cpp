// The first state of a newly created RunState block.
#include "host/run_state.h"

#include <cstring>

namespace mirel {

void initRunStateHeader(RunState& state) {
    std::memset(&state, 0, sizeof state);
    state.scale = 1.0f;
    state.showDialog = 1;
}

}  // namespace mirel
