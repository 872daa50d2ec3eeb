#include "HeapSlack.h"

#include <cstdlib> // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tarnwell {

void KeepHeapSlack()
{
#if defined(__GLIBC__)
    mallopt(M_TOP_PAD, 32 * 1024 * 1024);
#endif
}

} // namespace tarnwell
