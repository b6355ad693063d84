// Allocation of image-sized buffers.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace lz16 {

// Allocates image-sized buffers. Elements that a resize adds are left
// uninitialised: the buffers are written from the start, so zeroing them
// first would only cost time, and pages never written cost no memory.
// Where the system offers transparent huge pages, buffers of huge_page
// bytes or more are aligned to it and advised onto them: on small pages
// the buffers of a 4096x4096 image take tens of thousands of page faults.
template <typename T>
struct buffer_allocator {
  using value_type = T;
  static constexpr size_t huge_page = size_t{2} << 20;

  buffer_allocator() = default;
  template <typename U>
  buffer_allocator(const buffer_allocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T) - huge_page) throw std::bad_array_new_length();
    const size_t bytes = n * sizeof(T);
#if defined(MADV_HUGEPAGE)
    if (bytes >= huge_page) {
      const size_t rounded = (bytes + huge_page - 1) & ~(huge_page - 1);
      void* p = std::aligned_alloc(huge_page, rounded);
      if (!p) throw std::bad_alloc();
      madvise(p, rounded, MADV_HUGEPAGE);  // advice only: failure leaves small pages
      return static_cast<T*>(p);
    }
#endif
    void* p = std::malloc(bytes > 0 ? bytes : 1);
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t) noexcept { std::free(p); }

  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const buffer_allocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace lz16
