#include "base/platform/PageMemory.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace tavrin {

void* AllocatePages(std::size_t size)
{
    if (size == 0)
        return nullptr;
#if defined(_WIN32)
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
#else
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
#endif
}

void FreePages(void* pages, std::size_t size)
{
    if (!pages)
        return;
#if defined(_WIN32)
    (void)size;
    VirtualFree(pages, 0, MEM_RELEASE);
#else
    munmap(pages, size);
#endif
}

}  // namespace tavrin
