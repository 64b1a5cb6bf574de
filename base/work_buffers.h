#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <type_traits>

namespace loopsmith {

// Where the job's two work buffers come from; tests make it fail.
class BufferAllocator {
 public:
  virtual ~BufferAllocator() = default;
  // Zero-filled memory, or null.
  virtual void* AllocateZeroed(std::size_t bytes) = 0;
  virtual void Free(void* memory) = 0;
};

// Fresh zero-filled pages from the system (mmap, VirtualAlloc), which are
// given back whole when freed; under AddressSanitizer, its heap.
class PageAllocator final : public BufferAllocator {
 public:
  void* AllocateZeroed(std::size_t bytes) override;
  void Free(void* memory) override;
};

// One zero-filled work buffer, given back to its allocator when it goes out of scope.
class WorkBuffer {
 public:
  WorkBuffer(BufferAllocator& allocator, std::size_t bytes)
      : m_allocator(allocator),
        m_memory(static_cast<std::uint8_t*>(allocator.AllocateZeroed(bytes))),
        m_size(bytes) {}
  WorkBuffer(const WorkBuffer&) = delete;
  WorkBuffer& operator=(const WorkBuffer&) = delete;
  ~WorkBuffer() {
    if (m_memory != nullptr) m_allocator.Free(m_memory);
  }

  std::uint8_t* data() const { return m_memory; }
  explicit operator bool() const { return m_memory != nullptr; }
  // The buffer's first N bytes as a span of that size; it must hold them.
  template <std::size_t N>
  std::span<std::uint8_t, N> first() const {
    if (m_memory == nullptr || N > m_size) throw std::length_error("work buffer too small");
    return std::span<std::uint8_t, N>(m_memory, N);
  }

 private:
  BufferAllocator& m_allocator;
  std::uint8_t* m_memory;
  std::size_t m_size;
};

// The first N elements of a container as a span of that size, for a function
// that needs that many; it must hold them.
template <std::size_t N, typename Container>
auto FixedSpan(Container& container) {
  using Element = std::remove_pointer_t<decltype(container.data())>;
  if (container.size() < N) throw std::length_error("buffer too small");
  return std::span<Element, N>(container.data(), N);
}

}  // namespace loopsmith
