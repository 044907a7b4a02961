// SPDX-License-Identifier: GPL-3.0-or-later
// Memory for the analysis's large buffers (the read-ahead blocks, the values the distribution
// keeps between its passes), asked for in 2 MB pages where the system has them. Fresh memory
// costs a page fault at the first store to each page, and on virtual machines a small page's
// fault costs tens of microseconds: the 4 KB pages of a few megabytes then take longer than
// reading the whole file they buffer.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>

namespace ktx {

struct FreeLargePages {
    void operator()(void* p) const noexcept;
};

template <typename T>
using LargePages = std::unique_ptr<T[], FreeLargePages>;

// At least `bytes` of uncleared memory; from 1 MB on rounded up to whole 2 MB pages and aligned
// to them. Null when the memory cannot be had.
void* AllocateLargePages(std::size_t bytes);

// Faults in the pages of `bytes` from `p` (memory from AllocateLargePages) in one go, before
// they are written. Where the system gives no large pages (or only few), a first store to
// each 4 KB page is a fault of its own, and a virtual machine takes ten times longer for
// those one by one than for the same pages asked for together. Only a hint: the memory is
// usable whether or not it was done.
void PrepareLargePages(void* p, std::size_t bytes);

// PrepareLargePages of a whole region on a thread of its own, a chunk at a time from the start,
// while the owner goes on writing it (and preparing the part it is about to write itself).
// Where the host of a virtual machine has not yet backed the memory, the first touch costs
// more than reading the file whose values go there; asked for beside the reading it mostly
// overlaps. The destructor stops after the current chunk and waits. No thread (nothing done)
// when none can be started.
class BackgroundPrepare {
  public:
    BackgroundPrepare(void* p, std::size_t bytes);
    ~BackgroundPrepare();
    BackgroundPrepare(const BackgroundPrepare&) = delete;
    BackgroundPrepare& operator=(const BackgroundPrepare&) = delete;

  private:
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

template <typename T>
LargePages<T> MakeLargePages(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
        return nullptr;  // more bytes than a size holds
    }
    return LargePages<T>(static_cast<T*>(AllocateLargePages(count * sizeof(T))));
}

}  // namespace ktx
