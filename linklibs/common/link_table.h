// SPDX-License-Identifier: GPL-3.0-or-later
// The open links of one interface library, by 16-bit handle (1 ... 65535; 0 means "no link").
// Thread-safe. A link stays alive while a call on it runs, even if it is removed meanwhile.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "stream_link.h"

namespace ktx::linklib {

class LinkTable {
  public:
    // Returns the new handle, 0 when all handles are taken.
    std::uint16_t Add(std::unique_ptr<StreamLink> link);
    std::shared_ptr<StreamLink> Find(std::uint16_t handle) const;
    // Takes the link out of the table; nullptr for an unknown handle.
    std::shared_ptr<StreamLink> Remove(std::uint16_t handle);

  private:
    mutable std::mutex m_mutex;
    std::map<std::uint16_t, std::shared_ptr<StreamLink>> m_links;
    std::uint16_t m_next = 1;
};

}  // namespace ktx::linklib
