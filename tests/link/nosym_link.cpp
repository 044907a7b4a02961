// SPDX-License-Identifier: GPL-3.0-or-later
// A shared library that is no interface library: it lacks ktx_link_ops.
extern "C" __attribute__((visibility("default"))) int ktx_something_else() {
    return 42;
}
