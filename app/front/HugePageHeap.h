#pragma once

namespace quillet {

/// Makes the rest of the process's heap come from transparent huge pages where the system
/// offers them on request.
///
/// A short-lived process that builds a large library pays mostly for first touches of fresh
/// memory: on a virtual machine each 4 KiB page faulted in costs some 10 µs, about as much as
/// the work done in it, while one 2 MiB page costs about as much as a few small ones. So the
/// heap is grown once, well ahead of need (only address space: a page costs nothing until
/// touched), everything after the next 2 MiB boundary is marked for huge pages, and the part
/// below the boundary is set aside unused. Best effort: without glibc or with huge pages
/// switched off, the heap simply stays as it is.
void preferHugePagesForTheHeap();

} // namespace quillet
