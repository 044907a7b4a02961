// SPDX-License-Identifier: GPL-3.0-or-later
// ktx_tcp.so: a raw socket to the instrument's socket server ("SCPI raw" port). Settings in
// [TCP]: HOST (default 127.0.0.1) and PORT (default 5025; many oscilloscopes use 4000). The
// status line port is the TCP port.
#include <cstdio>
#include <string>

#include "ktx_link.h"
#include "link_ops.h"
#include "link_settings.h"
#include "tcp_stream.h"

namespace ktx::linklib {

namespace {

std::unique_ptr<ByteStream> OpenTcp(const char* configPath, bool /*askUser*/, std::int32_t* port,
                                    LinkStatus& failure) {
    const LinkSettings settings(configPath, "TCP");
    settings.WriteDefaultsIfMissing({{"HOST", "127.0.0.1"}, {"PORT", "5025"}});
    const std::string host = settings.Text("HOST", "127.0.0.1");
    const long number = settings.Integer("PORT", 5025);
    if (host.empty() || number < 1 || number > 65535) {
        std::fprintf(stderr, "ktx_tcp: [TCP] HOST/PORT invalid: \"%s\" %ld\n", host.c_str(),
                     number);
        failure = {KTX_LINK_E_SETTINGS, 0, 0};
        return nullptr;
    }
    const int fd =
        ConnectTcp(host, static_cast<int>(number), kConnectTimeoutMs, "ktx_tcp", failure);
    if (fd < 0) {
        return nullptr;
    }
    *port = static_cast<std::int32_t>(number);
    return MakeTcpStream(fd);
}

}  // namespace

}  // namespace ktx::linklib

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops(void) {
    return ktx::linklib::LinkOpsFor(&ktx::linklib::OpenTcp);
}
