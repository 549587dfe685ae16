#include "platform/MallocTuning.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>

namespace vantiro {

void RestartWithHugePageMalloc(char** argv) {
  if (std::getenv("GLIBC_TUNABLES") || std::getenv("VANTIRO_PLAIN_PAGES")) return;
  if (setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1", 1) != 0) return;
  execv("/proc/self/exe", argv);
  unsetenv("GLIBC_TUNABLES");  // the restart failed: go on as we are
}

void ReleaseFreeMemory() { malloc_trim(0); }

}  // namespace vantiro
