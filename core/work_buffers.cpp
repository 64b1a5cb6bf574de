#include "core/work_buffers.h"

#include <cstdlib>

namespace loopsmith {

void* HeapAllocator::AllocateZeroed(std::size_t bytes) { return std::calloc(bytes, 1); }

void HeapAllocator::Free(void* memory) { std::free(memory); }

}  // namespace loopsmith
