#pragma once

namespace vantiro {

// Loading a large recording fills tens of megabytes of fresh memory at once; on a machine whose
// kernel hands out transparent huge pages on request, the C library's allocator can ask for them
// and the kernel then supplies that memory several times faster. The allocator reads this switch
// only when the program starts, so the program restarts itself once with the switch set (unless
// GLIBC_TUNABLES is already set, or VANTIRO_PLAIN_PAGES is). Returns only when no restart happened.
void RestartWithHugePageMalloc(char** argv);

// Gives the memory the allocator holds free back to the system (a large dataset dropped: the
// allocator keeps what its worker threads freed for later use otherwise, and the process stays
// as large as at its peak).
void ReleaseFreeMemory();

}  // namespace vantiro
