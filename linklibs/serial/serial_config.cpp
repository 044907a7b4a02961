// SPDX-License-Identifier: GPL-3.0-or-later
// Parser of the serial port settings text.
#include "serial_config.h"

#include <cctype>
#include <string>
#include <vector>

namespace ktx::linklib {

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Upper(std::string_view text) {
    std::string out;
    for (const char c : Trim(text)) {
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

// A decimal number of at most 9 digits, nothing else.
std::optional<long> Number(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

std::optional<SerialConfig> ParseSerialConfig(std::string_view text) {
    const std::string upper = Upper(text);
    const std::size_t colon = upper.find(':');
    if (upper.rfind("COM", 0) != 0 || colon == std::string::npos) {
        return std::nullopt;
    }
    SerialConfig config;
    const auto port = Number(std::string_view(upper).substr(3, colon - 3));
    if (!port || *port < 1 || *port > 99) {
        return std::nullopt;
    }
    config.port = static_cast<int>(*port);

    std::vector<std::string> parts;
    std::string current;
    for (const char c : upper.substr(colon + 1)) {
        if (c == ',') {
            parts.push_back(std::string(Trim(current)));
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(std::string(Trim(current)));
    if (parts.size() != 4 && parts.size() != 5) {
        return std::nullopt;
    }
    const auto baud = Number(parts[0]);
    const auto dataBits = Number(parts[2]);
    const auto stopBits = Number(parts[3]);
    if (!baud || *baud < 50 || *baud > 4'000'000 || !dataBits || *dataBits < 5 || *dataBits > 8 ||
        !stopBits || (*stopBits != 1 && *stopBits != 2)) {
        return std::nullopt;
    }
    config.baud = static_cast<int>(*baud);
    config.dataBits = static_cast<int>(*dataBits);
    config.stopBits = static_cast<int>(*stopBits);
    if (parts[1] == "N") {
        config.parity = SerialConfig::Parity::None;
    } else if (parts[1] == "E") {
        config.parity = SerialConfig::Parity::Even;
    } else if (parts[1] == "O") {
        config.parity = SerialConfig::Parity::Odd;
    } else {
        return std::nullopt;
    }
    if (parts.size() == 5) {
        if (parts[4] == "NONE") {
            config.handshake = SerialConfig::Handshake::None;
        } else if (parts[4] == "HW") {
            config.handshake = SerialConfig::Handshake::Hardware;
        } else if (parts[4] == "XON") {
            config.handshake = SerialConfig::Handshake::XonXoff;
        } else {
            return std::nullopt;
        }
    }
    return config;
}

}  // namespace ktx::linklib
