#pragma once

namespace qm {

// Memory freed is given back to the system while the program runs: a large
// folder's rows, read on worker threads and freed at the next switch, would
// otherwise stay with the program (the C library keeps a pool per thread and
// keeps freed memory next to large blocks). Called first thing in main.
void give_back_freed_memory();

}  // namespace qm
