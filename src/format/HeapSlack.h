#pragma once

// Called once at the start of each program, before large documents are read.
namespace tarnwell {

// Keeps 32 MiB of freed memory at the top of the heap instead of handing it
// back to the system at once. Reading, storing and checking a large document
// allocate and free tens of megabytes each time; given back, that memory is
// faulted in again page by page on the next round, which on virtual machines
// costs more than the parse itself (PutData of 32,767 entries took 3 times as
// long). The slack is reused by the next round and bounded. Setting it also
// fixes glibc's threshold for mapping large blocks at its default (mallopt(3));
// measured on the benchmarks, the slack is the larger gain.
void KeepHeapSlack();

} // namespace tarnwell
