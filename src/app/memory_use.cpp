#include "app/memory_use.h"

#include <malloc.h>

namespace qm {

void give_back_freed_memory() {
    // Blocks from 128 KB (a folder's row table) have pages of their own,
    // unmapped when freed; a fixed threshold also keeps the trim threshold
    // from rising with the largest block freed.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // The pools stay one per thread (M_ARENA_MAX is left alone). With one
    // pool in all, or two shared as threads happen to start, the two threads
    // that read a folder wait on each other's allocations: 10,000 messages
    // read in about 130 ms instead of 90. The cost: a reading thread's pool,
    // passed on to the next one, keeps the top it freed (about 14 MB after
    // 100,000 rows).
}

}  // namespace qm
