// SPDX-License-Identifier: GPL-3.0-or-later
// Handle table of the open links.
#include "link_table.h"

namespace ktx::linklib {

std::uint16_t LinkTable::Add(std::unique_ptr<StreamLink> link) {
    std::lock_guard lock(m_mutex);
    // Handles are not reused at once, so a stale handle of a closed link rarely hits a new one.
    for (int tries = 0; tries < 65535; ++tries) {
        const std::uint16_t handle = m_next;
        m_next = static_cast<std::uint16_t>(m_next == 65535 ? 1 : m_next + 1);
        if (m_links.find(handle) == m_links.end()) {
            m_links.emplace(handle, std::move(link));
            return handle;
        }
    }
    return 0;
}

std::shared_ptr<StreamLink> LinkTable::Find(std::uint16_t handle) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_links.find(handle);
    return it == m_links.end() ? nullptr : it->second;
}

std::shared_ptr<StreamLink> LinkTable::Remove(std::uint16_t handle) {
    std::lock_guard lock(m_mutex);
    const auto it = m_links.find(handle);
    if (it == m_links.end()) {
        return nullptr;
    }
    std::shared_ptr<StreamLink> link = std::move(it->second);
    m_links.erase(it);
    return link;
}

}  // namespace ktx::linklib
