// SPDX-License-Identifier: GPL-3.0-or-later
// The operation table as a library built against version 1 of the link contract has it: nine
// slots and not a byte more, so a loader that reads a tenth slot reads past its end.
#pragma once

#include "ktx_link.h"

struct VersionOneTable {
    uint32_t version;
    uint32_t count;
    decltype(KtxLinkOps::LinkOpen) open;
    decltype(KtxLinkOps::LinkWrite) write;
    decltype(KtxLinkOps::LinkRead) read;
    decltype(KtxLinkOps::LinkReceiveFile) receive;
    decltype(KtxLinkOps::LinkSendFile) send;
    decltype(KtxLinkOps::LinkClose) close;
    decltype(KtxLinkOps::LinkClear) clear;
    decltype(KtxLinkOps::LinkSetTimeout) setTimeout;
    decltype(KtxLinkOps::LinkReadData) readData;
};
