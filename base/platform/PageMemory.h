#pragma once

#include <cstddef>

namespace tavrin {

// Large buffers taken from the system directly and given back to it when
// freed, so that the process's memory shrinks again at once instead of
// staying in the allocator's reserves. The pages read as zero at first.
// Returns null when the system has no memory to give.
void* AllocatePages(std::size_t size);

// Gives back what AllocatePages returned for the same size; null is ignored.
void FreePages(void* pages, std::size_t size);

}  // namespace tavrin
