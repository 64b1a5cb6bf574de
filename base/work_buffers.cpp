#include "base/work_buffers.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <cstdlib>
#include <cstring>

namespace loopsmith {
#if defined(__SANITIZE_ADDRESS__)
#define LOOPSMITH_HEAP_FROM_CALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LOOPSMITH_HEAP_FROM_CALLOC 1
#endif
#endif

#if defined(LOOPSMITH_HEAP_FROM_CALLOC)
// Under AddressSanitizer the buffers come from its heap, so that a step past
// their ends is caught.
void* PageAllocator::AllocateZeroed(std::size_t bytes) { return std::calloc(bytes, 1); }
void PageAllocator::Free(void* memory) { std::free(memory); }
#elif defined(_WIN32)
// Fresh pages from the system, zero-filled as the transforms need.
void* PageAllocator::AllocateZeroed(std::size_t bytes) {
  return ::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}
void PageAllocator::Free(void* memory) {
  if (memory != nullptr) ::VirtualFree(memory, 0, MEM_RELEASE);
}
#else
namespace {

// Each block keeps its size in front of the memory handed out.
constexpr std::size_t kHeader = 64;

}  // namespace

void* PageAllocator::AllocateZeroed(std::size_t bytes) {
  // Fresh anonymous pages are zero already; populating them in the same call
  // spares the hundreds of page faults that first touching them would cost.
  const std::size_t total = bytes + kHeader;
  void* block = ::mmap(nullptr, total, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  std::memcpy(block, &total, sizeof total);
  return static_cast<unsigned char*>(block) + kHeader;
}

void PageAllocator::Free(void* memory) {
  if (memory == nullptr) return;
  void* block = static_cast<unsigned char*>(memory) - kHeader;
  std::size_t total = 0;
  std::memcpy(&total, block, sizeof total);
  ::munmap(block, total);
}

#endif

}  // namespace loopsmith
