// SPDX-License-Identifier: GPL-3.0-or-later
// The nine C entry points shared by every interface library.
#include "link_ops.h"

#include <atomic>

#include "link_table.h"

namespace ktx::linklib {

namespace {

std::atomic<OpenStreamFunction> g_open{nullptr};

LinkTable& Links() {
    static LinkTable table;
    return table;
}

uint16_t LinkOpen(const char* configPath, int32_t askUser, int32_t* port) {
    const OpenStreamFunction open = g_open.load();
    if (open == nullptr) {
        return 0;
    }
    std::int32_t number = 0;
    std::unique_ptr<ByteStream> stream =
        open(configPath != nullptr ? configPath : "", askUser == 1, &number);
    if (stream == nullptr) {
        return 0;
    }
    const std::uint16_t handle = Links().Add(std::make_unique<StreamLink>(std::move(stream)));
    if (handle != 0 && port != nullptr) {
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

constexpr KtxLinkOps kOps = {
    KTX_LINK_VERSION, 9,          &LinkOpen,  &LinkWrite,      &LinkRead,     &LinkReceiveFile,
    &LinkSendFile,    &LinkClose, &LinkClear, &LinkSetTimeout, &LinkReadData,
};

}  // namespace

const KtxLinkOps* LinkOpsFor(OpenStreamFunction open) {
    g_open.store(open);
    return &kOps;
}

}  // namespace ktx::linklib
