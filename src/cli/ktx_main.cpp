// SPDX-License-Identifier: GPL-3.0-or-later
// The ktx command line tool.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli/ktx_commands.h"
#include "config/user_home.h"

namespace {

// The program folder: KURVITEX_HOME, else the folder of this executable.
std::string ProgramDir(const char* argv0) {
    if (const char* home = std::getenv("KURVITEX_HOME"); home && *home) {
        return home;
    }
    std::error_code ec;
    auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    if (ec) {
        exe = std::filesystem::absolute(argv0, ec);
    }
    // An installed, write-protected program folder: the user's data folder stands in for it.
    std::string error;
    std::string home = ktx::ChooseProgramHome(exe.parent_path().string(), error);
    if (!error.empty()) {
        std::cerr << "Schreibfehler " << error << '\n';
    }
    return home;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const ktx::KtxEnvironment env{ProgramDir(argv[0])};
    return ktx::RunKtx(std::vector<std::string>(argv + 1, argv + argc), env, std::cout, std::cerr);
}
