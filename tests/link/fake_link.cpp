// SPDX-License-Identifier: GPL-3.0-or-later
#include "fake_link.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "ktx_link.h"
#include "version_one_table.h"

namespace {

FakeLinkScript g_script;

// Marks a call as running; a second one at the same time means the caller does not serialise.
struct CallGuard {
    explicit CallGuard(std::string call) {
        if (g_script.inCall.fetch_add(1) != 0) {
            g_script.overlapped = true;
        }
        g_script.calls.push_back(std::move(call));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ~CallGuard() { g_script.inCall.fetch_sub(1); }
};

uint16_t Open(const char* config, int32_t ask, int32_t* port) {
    CallGuard g(std::string("open ") + config + " " + std::to_string(ask));
    *port = g_script.port;
    return g_script.openHandle;
}

uint8_t Write(uint16_t h, const char* text) {
    CallGuard g("write " + std::to_string(h) + " " + text);
    return g_script.writeOk;
}

uint8_t Read(uint16_t, char* buffer) {
    CallGuard g("read");
    if (g_script.answers.empty()) {
        return 0;
    }
    const std::string a = g_script.answers.front();
    g_script.answers.pop_front();
    std::strncpy(buffer, a.c_str(), KTX_LINK_READ_BUFFER - 1);
    return 1;
}

uint8_t Receive(uint16_t, const char* file) {
    CallGuard g(std::string("receive ") + file);
    if (std::FILE* out = std::fopen(file, "wb")) {
        std::fwrite(g_script.received.data(), 1, g_script.received.size(), out);
        std::fclose(out);
    }
    return g_script.transferOk;
}

uint8_t Send(uint16_t, const char* file) {
    CallGuard g(std::string("send ") + file);
    return g_script.transferOk;
}

uint8_t Close(uint16_t) {
    CallGuard g("close");
    if (g_script.closeFailures > 0) {
        --g_script.closeFailures;
        return 0;
    }
    return 1;
}

void Clear(uint16_t) {
    CallGuard g("clear");
}

uint16_t SetTimeout(uint16_t, uint16_t t) {
    CallGuard g("timeout " + std::to_string(t));
    const uint16_t previous = g_script.timeout;
    g_script.timeout = t;
    return previous;
}

uint8_t ReadData(uint16_t, void* buffer, uint32_t count) {
    CallGuard g("readdata " + std::to_string(count));
    std::memset(buffer, 0x5A, count);
    return 1;
}

#ifdef KTX_FAKE_FULL_TABLE
uint8_t WriteRaw(uint16_t h, const char* text) {
    CallGuard g("writeraw " + std::to_string(h) + " " + text);
    return g_script.writeOk;
}

int32_t LastError(uint16_t, uint32_t* detail, uint32_t* expected) {
    *detail = g_script.errorDetail;
    *expected = g_script.errorExpected;
    return g_script.errorCode;
}

const KtxLinkOps kOps = {KTX_LINK_VERSION,
                         KTX_LINK_OPERATIONS,
                         Open,
                         Write,
                         Read,
                         Receive,
                         Send,
                         Close,
                         Clear,
                         SetTimeout,
                         ReadData,
                         WriteRaw,
                         LastError};

const KtxLinkOps* Table() {
    return &kOps;
}
#else
const VersionOneTable kOps = {1,    9,     Open,  Write,      Read,    Receive,
                              Send, Close, Clear, SetTimeout, ReadData};

const KtxLinkOps* Table() {
    return reinterpret_cast<const KtxLinkOps*>(&kOps);
}
#endif

}  // namespace

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops() {
    return Table();
}
extern "C" KTX_LINK_EXPORT FakeLinkScript* ktx_fake_script() {
    return &g_script;
}
