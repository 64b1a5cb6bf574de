#pragma once

#include <cstddef>
#include <cstdint>

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

// One zero-filled work buffer, given back to its allocator when it goes out of scope.
class WorkBuffer {
 public:
  WorkBuffer(BufferAllocator& allocator, std::size_t bytes)
      : m_allocator(allocator),
        m_memory(static_cast<std::uint8_t*>(allocator.AllocateZeroed(bytes))) {}
  WorkBuffer(const WorkBuffer&) = delete;
  WorkBuffer& operator=(const WorkBuffer&) = delete;
  ~WorkBuffer() {
    if (m_memory != nullptr) m_allocator.Free(m_memory);
  }

  std::uint8_t* data() const { return m_memory; }
  explicit operator bool() const { return m_memory != nullptr; }

 private:
  BufferAllocator& m_allocator;
  std::uint8_t* m_memory;
};

}  // namespace loopsmith
