// SPDX-License-Identifier: GPL-3.0-or-later
// An interface library of version 1, as far as the program can tell: the first nine operations
// of the simulator library (ktx_sim.so of the program folder) in a nine-slot table. Runs the
// transport's fall-backs against the real simulated instrument.
#include <dlfcn.h>

#include "version_one_table.h"

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops() {
    static VersionOneTable table{};
    // Loaded once and kept for the life of the process: the table points into it.
    static void* const library = ::dlopen(KTX_SIM_LINK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return nullptr;
    }
    const auto full = reinterpret_cast<KtxLinkOpsFunction>(::dlsym(library, KTX_LINK_OPS_SYMBOL));
    const KtxLinkOps* ops = full != nullptr ? full() : nullptr;
    if (ops == nullptr) {
        return nullptr;
    }
    table = {1,
             9,
             ops->LinkOpen,
             ops->LinkWrite,
             ops->LinkRead,
             ops->LinkReceiveFile,
             ops->LinkSendFile,
             ops->LinkClose,
             ops->LinkClear,
             ops->LinkSetTimeout,
             ops->LinkReadData};
    return reinterpret_cast<const KtxLinkOps*>(&table);
}
