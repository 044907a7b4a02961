// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/large_pages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <system_error>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace ktx {

namespace {
constexpr std::size_t kLargePage = std::size_t{2} << 20;
}

void FreeLargePages::operator()(void* p) const noexcept {
    std::free(p);
}

void* AllocateLargePages(std::size_t bytes) {
    if (bytes < kLargePage / 2) {
        return std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (bytes > static_cast<std::size_t>(-1) - kLargePage) {
        return nullptr;
    }
    const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* p = std::aligned_alloc(kLargePage, rounded);
#ifdef MADV_HUGEPAGE
    if (p != nullptr) {
        madvise(p, rounded, MADV_HUGEPAGE);  // only a hint: small pages work as well
    }
#endif
    return p;
}

void PrepareLargePages(void* p, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    // Page-aligned start: the pages that hold any of the bytes.
    const auto start = reinterpret_cast<std::uintptr_t>(p) & ~std::uintptr_t{4095};
    const std::size_t length = reinterpret_cast<std::uintptr_t>(p) + bytes - start;
    if (bytes > 0) {
        // Refused by kernels before 5.14: the stores then fault the pages in one by one.
        madvise(reinterpret_cast<void*>(start), length, MADV_POPULATE_WRITE);
    }
#else
    (void)p;
    (void)bytes;
#endif
}

BackgroundPrepare::BackgroundPrepare(void* p, std::size_t bytes) {
    if (p == nullptr || bytes == 0) {
        return;
    }
    try {
        m_thread = std::thread([this, p, bytes] {
            constexpr std::size_t kChunk = kLargePage;
            auto* bytesAt = static_cast<std::uint8_t*>(p);
            for (std::size_t done = 0; done < bytes && !m_stop.load(std::memory_order_relaxed);
                 done += kChunk) {
                PrepareLargePages(bytesAt + done, std::min(kChunk, bytes - done));
            }
        });
    } catch (const std::system_error&) {
    }
}

BackgroundPrepare::~BackgroundPrepare() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

}  // namespace ktx
