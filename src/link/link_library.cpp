// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/link_library.h"

#include <QLibrary>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace ktx {

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

#if defined(_WIN32)
constexpr const char* kPlatformSuffix = ".dll";
#elif defined(__APPLE__)
constexpr const char* kPlatformSuffix = ".dylib";
#else
constexpr const char* kPlatformSuffix = ".so";
#endif

// The QLibrary objects of one file share one load count. A load on one thread while another
// unloads the same file could leave the count one too high (seen with eight links opened side
// by side), so the library stayed loaded for good: loads and unloads take turns.
std::mutex& LoadTurns() {
    static std::mutex turns;
    return turns;
}

}  // namespace

std::string FindFileIgnoringCase(const std::string& dir, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (EqualIgnoringCase(entry.path().filename().string(), name)) {
            return entry.path().string();
        }
    }
    return {};
}

LinkLibrary::LinkLibrary() = default;

LinkLibrary::~LinkLibrary() {
    Unload();
}

void LinkLibrary::Unload() {
    m_ops = nullptr;
    if (m_library) {
        const std::lock_guard turn(LoadTurns());
        m_library->unload();
        m_library.reset();
    }
}

bool LinkLibrary::Load(const std::string& dir, const std::string& name, std::string* reason) {
    Unload();
    std::string path = name.empty() ? std::string() : FindFileIgnoringCase(dir, name);
    if (path.empty() && !name.empty()) {
        // Settings written on Windows name the library with its .dll suffix.
        const auto dot = name.rfind('.');
        const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
        path = FindFileIgnoringCase(dir, stem + kPlatformSuffix);
    }
    if (path.empty()) {
        if (reason) {
            *reason = "Bibliothek nicht gefunden: " + name;
        }
        return false;
    }
    const std::lock_guard turn(LoadTurns());
    auto library = std::make_unique<QLibrary>(QString::fromStdString(path));
    if (!library->load()) {
        if (reason) {
            *reason = library->errorString().toStdString();
        }
        return false;
    }
    const auto entry = reinterpret_cast<KtxLinkOpsFunction>(library->resolve(KTX_LINK_OPS_SYMBOL));
    const KtxLinkOps* ops = entry ? entry() : nullptr;
    // Any version: slots never change their meaning, later versions only add some.
    if (!ops || ops->version < 1 || ops->count < 9 || !ops->LinkOpen || !ops->LinkWrite ||
        !ops->LinkRead || !ops->LinkReceiveFile || !ops->LinkSendFile || !ops->LinkClose ||
        !ops->LinkClear || !ops->LinkSetTimeout || !ops->LinkReadData) {
        if (reason) {
            *reason = path + ": keine gültige Tabelle " KTX_LINK_OPS_SYMBOL;
        }
        library->unload();
        return false;
    }
    m_library = std::move(library);
    m_ops = ops;
    return true;
}

decltype(KtxLinkOps::LinkWriteRaw) LinkLibrary::WriteRaw() const {
    // A version 1 table has nine slots; reading a tenth would read past its end.
    return m_ops != nullptr && m_ops->count >= 10 ? m_ops->LinkWriteRaw : nullptr;
}

decltype(KtxLinkOps::LinkLastError) LinkLibrary::LastError() const {
    return m_ops != nullptr && m_ops->count >= 11 ? m_ops->LinkLastError : nullptr;
}

}  // namespace ktx
