// The filter lifecycle across the host's selectors.
namespace mirel {}
