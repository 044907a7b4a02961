// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/progress.h"

namespace ktx {

ProgressSink& NoProgress() {
    // Stateless, so sharing one instance is safe from any thread.
    static ProgressSink sink;
    return sink;
}

}  // namespace ktx
