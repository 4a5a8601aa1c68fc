#include "app/memory_use.h"

#include <malloc.h>

namespace qm {

void give_back_freed_memory() {
    // One pool for every thread: the reading threads' pools would each keep
    // what they freed (their tops are never trimmed).
    ::mallopt(M_ARENA_MAX, 1);
    // Blocks from 128 KB (a folder's row table) have pages of their own,
    // unmapped when freed; a fixed threshold also keeps the trim threshold
    // from rising with the largest block freed.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

}  // namespace qm
