// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/large_pages.h"

#include <cstdlib>

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

}  // namespace ktx
