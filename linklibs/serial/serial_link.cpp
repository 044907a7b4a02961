// SPDX-License-Identifier: GPL-3.0-or-later
// ktx_serial.so: RS232 through libserialport. Settings: [RS232] CONFIG (see serial_config.h,
// default "COM1:9600,N,8,1"); which device node COMn is: [SERIAL] DEVICE=/path overrides
// everything, else [SERIAL] DEVICE<n>=/path, else the n-th port libserialport lists (sorted
// by name), else /dev/ttyS<n-1>. The status line port is n.
//
// libserialport only opens ports it finds in sysfs; a pseudo-terminal (an instrument simulator,
// a serial-over-network bridge) is driven through plain termios instead.
#include <libserialport.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ktx_link.h"
#include "link_ops.h"
#include "link_settings.h"
#include "serial_config.h"
#include "serial_stream.h"

namespace ktx::linklib {

namespace {

constexpr const char* kDefaultConfig = "COM1:9600,N,8,1";

std::string DeviceForPort(const LinkSettings& serial, int n) {
    const std::string fixed = serial.Text("DEVICE", "");
    if (!fixed.empty()) {
        return fixed;
    }
    const std::string mapped = serial.Text("DEVICE" + std::to_string(n), "");
    if (!mapped.empty()) {
        return mapped;
    }
    std::vector<std::string> names;
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) == SP_OK) {
        for (sp_port** p = ports; *p != nullptr; ++p) {
            names.emplace_back(sp_get_port_name(*p));
        }
        sp_free_port_list(ports);
    }
    std::sort(names.begin(), names.end());
    if (static_cast<std::size_t>(n) <= names.size()) {
        return names[static_cast<std::size_t>(n) - 1];
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::unique_ptr<ByteStream> OpenSerial(const char* configPath, bool /*askUser*/,
                                       std::int32_t* portNumber, LinkStatus& failure) {
    const LinkSettings rs232(configPath, "RS232");
    rs232.WriteDefaultsIfMissing({{"CONFIG", kDefaultConfig}});
    const std::string text = rs232.Text("CONFIG", kDefaultConfig);
    const auto config = ParseSerialConfig(text.empty() ? kDefaultConfig : text);
    if (!config) {
        std::fprintf(stderr, "ktx_serial: [RS232] CONFIG \"%s\" is invalid (expected e.g. %s)\n",
                     text.c_str(), kDefaultConfig);
        failure = {KTX_LINK_E_SETTINGS, 0, 0};
        return nullptr;
    }
    const LinkSettings serial(configPath, "SERIAL");
    const std::string device = DeviceForPort(serial, config->port);
    std::unique_ptr<ByteStream> stream = OpenSerialLine(device, *config, "ktx_serial", failure);
    if (stream != nullptr) {
        *portNumber = config->port;
    }
    return stream;
}

}  // namespace

}  // namespace ktx::linklib

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops(void) {
    return ktx::linklib::LinkOpsFor(&ktx::linklib::OpenSerial);
}
