// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "cli/ktx_commands.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return ktx::RunKtx(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
