// SPDX-License-Identifier: MIT
#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::uint64_t> allocations{0};

void *countedAllocation(std::size_t size) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

std::uint64_t divebridge::bench::allocationsSoFar() {
    return allocations.load(std::memory_order_relaxed);
}

void *operator new(std::size_t size) {
    if (void *block = countedAllocation(size)) {
        return block;
    }
    throw std::bad_alloc();
}

void *operator new[](std::size_t size) {
    return operator new(size);
}

void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    return countedAllocation(size);
}

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    return countedAllocation(size);
}

void operator delete(void *block) noexcept {
    std::free(block);
}

void operator delete[](void *block) noexcept {
    std::free(block);
}

void operator delete(void *block, std::size_t) noexcept {
    std::free(block);
}

void operator delete[](void *block, std::size_t) noexcept {
    std::free(block);
}
