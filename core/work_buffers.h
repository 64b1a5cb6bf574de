#pragma once

#include <cstddef>

namespace loopsmith {

// Where the job's two work buffers come from; tests make it fail.
class BufferAllocator {
 public:
  virtual ~BufferAllocator() = default;
  // Zero-filled memory, or null.
  virtual void* AllocateZeroed(std::size_t bytes) = 0;
  virtual void Free(void* memory) = 0;
};

class HeapAllocator final : public BufferAllocator {
 public:
  void* AllocateZeroed(std::size_t bytes) override;
  void Free(void* memory) override;
};

}  // namespace loopsmith
