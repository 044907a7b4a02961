// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/link_failure.h"

#include "config/message_catalog.h"
#include "config/safe_file.h"
#include "ktx_link.h"

namespace ktx {

namespace {

constexpr int kMsgIoError = 200;
constexpr int kMsgDeviceNotFound = 140;
constexpr int kMsgTimeout = 250;
constexpr int kMsgClosed = 251;
constexpr int kMsgRefused = 252;
constexpr int kMsgBusy = 253;
constexpr int kMsgShortBlock = 254;
constexpr int kMsgSizeLimit = 255;
constexpr int kMsgSizeLimitAnnounced = 256;
constexpr int kMsgSettings = 257;
constexpr int kMsgDriver = 258;
constexpr int kMsgProtocol = 259;
constexpr int kMsgFile = 260;
constexpr int kMsgNoLink = 261;

// Message n with "%1" and "%2" replaced by the numbers.
std::string Fill(int message, std::uint32_t first, std::uint32_t second = 0) {
    std::string text(MessageCatalog::Message(message));
    for (const auto& [mark, value] : {std::pair{"%1", first}, std::pair{"%2", second}}) {
        const std::size_t at = text.find(mark);
        if (at != std::string::npos) {
            text.replace(at, 2, std::to_string(value));
        }
    }
    return text;
}

}  // namespace

std::string LinkFailureText(int code, std::uint32_t detail, std::uint32_t expected) {
    switch (code) {
        case KTX_LINK_OK:
        case KTX_LINK_SHORT_DATA:
            return {};
        case KTX_LINK_E_TIMEOUT:
            return Fill(kMsgTimeout, detail);
        case KTX_LINK_E_CLOSED:
            return Fill(kMsgClosed, 0);
        case KTX_LINK_E_REFUSED:
            return Fill(kMsgRefused, 0);
        case KTX_LINK_E_BUSY:
            return Fill(kMsgBusy, 0);
        case KTX_LINK_E_SHORT_BLOCK:
            return Fill(kMsgShortBlock, detail, expected);
        case KTX_LINK_E_SIZE_LIMIT:
            return Fill(expected > 0 ? kMsgSizeLimitAnnounced : kMsgSizeLimit, detail, expected);
        case KTX_LINK_E_NOT_FOUND:
            return Fill(kMsgDeviceNotFound, 0);
        case KTX_LINK_E_SETTINGS:
            return Fill(kMsgSettings, 0);
        case KTX_LINK_E_DRIVER:
            return Fill(kMsgDriver, 0);
        case KTX_LINK_E_PROTOCOL:
            return Fill(kMsgProtocol, 0);
        case KTX_LINK_E_FILE:
            return Fill(kMsgFile, 0) + " " + SystemErrorText(static_cast<int>(detail));
        case KTX_LINK_E_SYSTEM:
            return SystemErrorText(static_cast<int>(detail));
        case KTX_LINK_E_NO_LINK:
            return Fill(kMsgNoLink, 0);
        default:
            return std::string(MessageCatalog::Message(kMsgIoError)) + std::to_string(code);
    }
}

LinkFailure MakeLinkFailure(int code, std::uint32_t detail, std::uint32_t expected) {
    return {code, detail, expected, LinkFailureText(code, detail, expected)};
}

LinkFailure MakeFileFailure(const FileError& error) {
    return {KTX_LINK_E_FILE, static_cast<std::uint32_t>(error.error), 0,
            std::string(MessageCatalog::Message(error.Message())) + " " + error.Text()};
}

}  // namespace ktx
