// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_files.h"

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace ktx::test {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        m_dir = base / ("ktx-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(m_dir)) {
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

void WriteFile(const std::string& path, const std::string& text) {
    WriteFile(path, FromText(text));
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

Bytes FromText(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string CorpusDir() {
    std::error_code ec;
    return std::filesystem::is_directory(KTX_CORPUS_DIR, ec) ? std::string(KTX_CORPUS_DIR) : "";
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_soft = limit.rlim_cur;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_soft;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_handler);
}

}  // namespace ktx::test
