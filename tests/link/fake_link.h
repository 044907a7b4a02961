// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted interface library for the transport tests: records every call it gets and answers
// from a script the test fills in. Built twice: ktx_fake.so with a version 1 table of nine
// slots (an interface library from before LinkWriteRaw), ktx_fake2.so with the full table.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct FakeLinkScript {
    std::vector<std::string> calls;
    std::uint16_t openHandle = 7;
    std::int32_t port = 3;
    bool writeOk = true;
    std::deque<std::string> answers;  // one per LinkRead; none left: the read fails
    int closeFailures = 0;            // how many LinkClose calls fail first
    bool transferOk = true;
    std::uint16_t timeout = 0;
    std::string received;        // what LinkReceiveFile writes into its file
    std::int32_t errorCode = 0;  // what LinkLastError reports (ktx_fake2.so)
    std::uint32_t errorDetail = 0;
    std::uint32_t errorExpected = 0;
    std::atomic<int> inCall{0};           // calls running right now
    std::atomic<bool> overlapped{false};  // two calls ran at the same time

    void Reset() {
        calls.clear();
        openHandle = 7;
        port = 3;
        writeOk = true;
        answers.clear();
        closeFailures = 0;
        transferOk = true;
        timeout = 0;
        received.clear();
        errorCode = 0;
        errorDetail = 0;
        errorExpected = 0;
        overlapped = false;
    }
};

extern "C" FakeLinkScript* ktx_fake_script();
