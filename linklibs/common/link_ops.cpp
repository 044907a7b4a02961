// SPDX-License-Identifier: GPL-3.0-or-later
// The C entry points shared by every interface library.
#include "link_ops.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

#include "link_settings.h"
#include "link_table.h"

namespace ktx::linklib {

namespace {

// [LINK] MAXRECEIVE is given in MiB; the bound is reported in bytes as a 32-bit number.
constexpr long kMaxReceiveMiB = 4095;

std::atomic<OpenStreamFunction> g_open{nullptr};

LinkTable& Links() {
    static LinkTable table;
    return table;
}

// The cause of the latest LinkOpen that failed (LinkLastError with handle 0).
struct OpenFailure {
    std::mutex mutex;
    LinkStatus status;
};

OpenFailure& LastOpenFailure() {
    static OpenFailure failure;
    return failure;
}

void RecordOpenFailure(const LinkStatus& status) {
    OpenFailure& failure = LastOpenFailure();
    std::lock_guard lock(failure.mutex);
    failure.status = status;
    if (failure.status.code == KTX_LINK_OK) {
        failure.status.code = KTX_LINK_E_SYSTEM;  // the library said nothing more
    }
}

std::uint64_t ReceiveLimit(const char* configPath) {
    const long mib = LinkSettings(configPath, "LINK").Integer("MAXRECEIVE", 0);
    if (mib <= 0) {
        return StreamLink::kDefaultReceiveLimit;
    }
    return static_cast<std::uint64_t>(std::min(mib, kMaxReceiveMiB)) << 20;
}

uint16_t LinkOpen(const char* configPath, int32_t askUser, int32_t* port) {
    const OpenStreamFunction open = g_open.load();
    if (open == nullptr) {
        return 0;
    }
    const char* path = configPath != nullptr ? configPath : "";
    std::int32_t number = 0;
    LinkStatus failure;
    std::unique_ptr<ByteStream> stream = open(path, askUser == 1, &number, failure);
    if (stream == nullptr) {
        RecordOpenFailure(failure);
        return 0;
    }
    const std::uint16_t handle =
        Links().Add(std::make_unique<StreamLink>(std::move(stream), ReceiveLimit(path)));
    if (handle == 0) {
        RecordOpenFailure({KTX_LINK_E_SYSTEM, EMFILE, 0});
    } else if (port != nullptr) {
        *port = number;
    }
    return handle;
}

uint8_t LinkWrite(uint16_t handle, const char* text) {
    const auto link = Links().Find(handle);
    return link != nullptr && text != nullptr && link->Write(text) ? 1 : 0;
}

uint8_t LinkRead(uint16_t handle, char* buffer) {
    const auto link = Links().Find(handle);
    if (buffer == nullptr) {
        return 0;
    }
    if (link == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    return link->Read(buffer) ? 1 : 0;
}

uint8_t LinkReceiveFile(uint16_t handle, const char* fileName) {
    const auto link = Links().Find(handle);
    return link != nullptr && fileName != nullptr && link->ReceiveFile(fileName) ? 1 : 0;
}

uint8_t LinkSendFile(uint16_t handle, const char* fileName) {
    const auto link = Links().Find(handle);
    return link != nullptr && fileName != nullptr && link->SendFile(fileName) ? 1 : 0;
}

uint8_t LinkClose(uint16_t handle) {
    const auto link = Links().Remove(handle);
    return link != nullptr && link->Close() ? 1 : 0;
}

void LinkClear(uint16_t handle) {
    if (const auto link = Links().Find(handle)) {
        link->Clear();
    }
}

uint16_t LinkSetTimeout(uint16_t handle, uint16_t timeoutMs) {
    const auto link = Links().Find(handle);
    return link != nullptr ? link->SetTimeout(timeoutMs) : 0;
}

uint8_t LinkReadData(uint16_t handle, void* buffer, uint32_t count) {
    const auto link = Links().Find(handle);
    return link != nullptr && (buffer != nullptr || count == 0) && link->ReadData(buffer, count)
               ? 1
               : 0;
}

uint8_t LinkWriteRaw(uint16_t handle, const char* text) {
    const auto link = Links().Find(handle);
    return link != nullptr && text != nullptr && link->WriteRaw(text) ? 1 : 0;
}

int32_t LinkLastError(uint16_t handle, uint32_t* detail, uint32_t* expected) {
    LinkStatus status;
    if (handle == 0) {
        OpenFailure& failure = LastOpenFailure();
        std::lock_guard lock(failure.mutex);
        status = failure.status;
    } else if (const auto link = Links().Find(handle)) {
        status = link->LastStatus();
    } else {
        status.code = KTX_LINK_E_NO_LINK;
    }
    if (detail != nullptr) {
        *detail = status.detail;
    }
    if (expected != nullptr) {
        *expected = status.expected;
    }
    return status.code;
}

constexpr KtxLinkOps kOps = {
    KTX_LINK_VERSION, KTX_LINK_OPERATIONS, &LinkOpen,      &LinkWrite, &LinkRead,
    &LinkReceiveFile, &LinkSendFile,       &LinkClose,     &LinkClear, &LinkSetTimeout,
    &LinkReadData,    &LinkWriteRaw,       &LinkLastError,
};

}  // namespace

LinkStatus OpenFailureFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return {KTX_LINK_E_NOT_FOUND, 0, 0};
        case EBUSY:
        case EWOULDBLOCK:
            return {KTX_LINK_E_BUSY, 0, 0};
        case ECONNREFUSED:
            return {KTX_LINK_E_REFUSED, 0, 0};
        default:
            return {KTX_LINK_E_SYSTEM, static_cast<std::uint32_t>(error), 0};
    }
}

const KtxLinkOps* LinkOpsFor(OpenStreamFunction open) {
    g_open.store(open);
    return &kOps;
}

}  // namespace ktx::linklib
