// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the interface library tests.
#include "link_test_support.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace ktx::linklib::test {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ktx_link_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

LoadedLinkLibrary::LoadedLinkLibrary(const std::string& fileName) {
    const std::string path = std::string(KTX_LINK_LIBRARY_DIR) + "/" + fileName;
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        m_error = ::dlerror();
        return;
    }
    const auto function =
        reinterpret_cast<KtxLinkOpsFunction>(::dlsym(m_handle, KTX_LINK_OPS_SYMBOL));
    if (function == nullptr) {
        m_error = "no symbol " KTX_LINK_OPS_SYMBOL;
        return;
    }
    m_ops = function();
}

LoadedLinkLibrary::~LoadedLinkLibrary() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
    }
}

}  // namespace ktx::linklib::test
