// A threaded stand-in for the plug-ins' worker pool, linked into the parallel MLAA test in
// place of the library's implementation, so that the test runs real threads whatever the
// library's pool does. Each loop starts threads() - 1 fresh threads; they and the calling
// thread wait for one another at a start line and then claim chunks from a shared counter,
// so chunks of one loop overlap in time as much as the machine lets them.
#pragma once

#include <cstddef>

namespace qov::parallel::testing {

// Chunks run so far by threads other than a loop's caller, over all pools.
std::size_t chunksRunByWorkers();

}  // namespace qov::parallel::testing
