// SPDX-License-Identifier: GPL-3.0-or-later
// The link's receive state machine fed by a scripted instrument: the input is a series of
// events the stream hands out one per Receive call (a piece of bytes, a quiet moment that ends
// a wait, the line breaking), and the host asks in between (answers, blocks into a file and
// into memory, device clear, commands). Whatever arrives, every call must end, answers stay
// zero-terminated within their buffer and a received file never exceeds the size bound.
//
// Input: byte 0 chooses the host's calls (2 bits each); then events, each a tag byte and, for a
// piece, a length byte and that many bytes. When the events run out the line is broken, so no
// call waits on the clock.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "byte_stream.h"
#include "ktx_link.h"
#include "stream_link.h"

namespace {

constexpr std::uint64_t kReceiveLimit = std::uint64_t{1} << 20;

using ktx::linklib::ByteStream;
using ktx::linklib::Clock;

class EventStream final : public ByteStream {
  public:
    EventStream(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point) override {
        return m_broken ? -1 : static_cast<std::ptrdiff_t>(bytes.size());
    }
    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point) override {
        if (m_broken || m_at >= m_size) {
            return -1;
        }
        const std::uint8_t tag = m_data[m_at++];
        if (tag % 8 == 6) {
            return 0;  // nothing came before the deadline
        }
        if (tag % 8 == 7) {
            m_broken = true;
            return -1;
        }
        std::size_t n = m_at < m_size ? m_data[m_at++] : 0;
        n = std::min({n, m_size - m_at, size});
        if (tag % 8 == 5) {
            // A long run of one byte: lets the fuzzer reach size bounds with short inputs.
            const std::size_t run = std::min<std::size_t>(size, std::size_t{1} << (n % 21));
            std::memset(buffer, m_at < m_size ? m_data[m_at] : 'x', run);
            return static_cast<std::ptrdiff_t>(run);
        }
        if (n == 0) {
            return 0;
        }
        std::memcpy(buffer, m_data + m_at, n);
        m_at += n;
        return static_cast<std::ptrdiff_t>(n);
    }
    void Drain(std::string&) override {}
    bool Close() override { return true; }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
    bool m_broken = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string target = [] {
        const auto d = std::filesystem::temp_directory_path() / "ktx-fuzz-receive";
        std::filesystem::create_directories(d);
        return (d / "answer.bin").string();
    }();
    if (size < 1) {
        return 0;
    }
    const std::uint8_t plan = data[0];
    ktx::linklib::StreamLink link(std::make_unique<EventStream>(data + 1, size - 1), kReceiveLimit);
    link.SetTimeout(20);
    std::vector<char> answer(KTX_LINK_READ_BUFFER + 16, '\x55');
    std::vector<unsigned char> block(4096);
    for (int call = 0; call < 4; ++call) {
        switch ((plan >> (2 * call)) & 3) {
            case 0:
                link.Write("CURV?");
                if (link.Read(answer.data()) &&
                    std::memchr(answer.data(), '\0', KTX_LINK_READ_BUFFER) == nullptr) {
                    __builtin_trap();
                }
                break;
            case 1: {
                std::filesystem::remove(target);
                link.Write("HARDC START");
                std::error_code error;
                if (link.ReceiveFile(target.c_str()) &&
                    std::filesystem::file_size(target, error) > kReceiveLimit) {
                    __builtin_trap();  // the size bound holds for every kind of response
                }
                break;
            }
            case 2:
                link.ReadData(block.data(), static_cast<std::uint32_t>(block.size()));
                break;
            default:
                link.Clear();
                link.WriteRaw(":CURVE ");
                break;
        }
        // The bytes beyond the buffer are never written.
        for (std::size_t i = KTX_LINK_READ_BUFFER; i < answer.size(); ++i) {
            if (answer[i] != '\x55') {
                __builtin_trap();
            }
        }
    }
    link.Close();
    return 0;
}
