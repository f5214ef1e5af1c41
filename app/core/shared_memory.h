// Memory that a forked worker process shares with its parent: what the parent writes there
// after the fork, the worker reads. Anonymous shared mappings, whole pages each.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <new>

// For containers sized before the workers are forked and never grown after: the elements stay
// at the same address in every process, so pointers to them hold in the workers too.
template <typename T>
struct SharedAllocator {
    using value_type = T;

    SharedAllocator() = default;
    template <typename U>
    SharedAllocator(const SharedAllocator<U>& /*other*/) {}

    T* allocate(std::size_t count) {
        void* memory =
            mmap(nullptr, bytes(count), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t count) { munmap(memory, bytes(count)); }

    template <typename U>
    bool operator==(const SharedAllocator<U>& /*other*/) const {
        return true;
    }

private:
    static std::size_t bytes(std::size_t count) { return count > 0 ? count * sizeof(T) : 1; }
};
