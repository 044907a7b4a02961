// SPDX-License-Identifier: GPL-3.0-or-later
// StreamLink: the link operations over a ByteStream.
#include "stream_link.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "block_header.h"
#include "ktx_link.h"

namespace ktx::linklib {

namespace {

constexpr std::size_t kChunkSize = 256 * 1024;
constexpr std::size_t kFileBufferSize = 1024 * 1024;
// Text skipped while looking for a block's "#".
constexpr std::uint64_t kMaxSkipBytes = 1024 * 1024;
// Header text ahead of a block; longer text without "#" or a line feed is taken as raw data.
constexpr std::size_t kMaxHeaderText = 64 * 1024;

// PNG chunks are at most 2^31 - 1 bytes long.
constexpr std::uint64_t kMaxPngChunk = 0x7FFFFFFF;
constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t Le32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return u[0] | u[1] << 8 | u[2] << 16 | static_cast<std::uint32_t>(u[3]) << 24;
}

std::uint32_t Be32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint32_t>(u[0]) << 24 | u[1] << 16 | u[2] << 8 | u[3];
}

std::uint32_t Clamp32(std::uint64_t value) {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

// How a response that starts like a screen picture is told: "BM" and its size field, the whole
// PNG signature, or a PCX header (manufacturer 10 = a line feed, version 0 ... 5, run-length
// encoding 1, 1 ... 8 bits per pixel). NeedMore while the bytes so far could still be either.
StreamLink::PictureKind StreamLink::PictureStart(std::string_view bytes, bool& needMore) {
    needMore = false;
    if (bytes.empty()) {
        needMore = true;
        return PictureKind::None;
    }
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    switch (at(0)) {
        case 'B':
            if (bytes.size() < 2) {
                needMore = true;
                return PictureKind::None;
            }
            if (at(1) != 'M') {
                return PictureKind::None;
            }
            needMore = bytes.size() < 6;
            return needMore ? PictureKind::None : PictureKind::Bmp;
        case 0x89:
            for (std::size_t i = 1; i < std::min<std::size_t>(bytes.size(), 8); ++i) {
                if (at(i) != kPngSignature[i]) {
                    return PictureKind::None;
                }
            }
            needMore = bytes.size() < 8;
            return needMore ? PictureKind::None : PictureKind::Png;
        case 0x0A: {
            if (bytes.size() < 4) {
                needMore = true;
                return PictureKind::None;
            }
            const unsigned version = at(1);
            const unsigned bits = at(3);
            const bool pcx = version <= 5 && version != 1 && at(2) == 1 &&
                             (bits == 1 || bits == 2 || bits == 4 || bits == 8);
            return pcx ? PictureKind::Pcx : PictureKind::None;
        }
        default:
            return PictureKind::None;
    }
}

// The target of LinkReceiveFile: a fully buffered file (or nothing, to discard) that can hold
// back a trailing message terminator until it is known whether more data follows it.
class StreamLink::FileSink {
  public:
    explicit FileSink(std::FILE* file) : m_file(file) {
        if (m_file != nullptr) {
            // Not zeroed: a picture of a few hundred kilobytes should not pay for a megabyte.
            m_buffer.reset(new char[kFileBufferSize]);
            std::setvbuf(m_file, m_buffer.get(), _IOFBF, kFileBufferSize);
        }
    }
    ~FileSink() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void WriteRaw(const char* data, std::size_t size) {
        if (size == 0) {
            return;
        }
        FlushHeld();
        Put(data, size);
    }
    // Writes data that may end the message: a final "\n" or "\r\n" is kept back.
    void WriteHoldingTerminator(const char* data, std::size_t size) {
        if (size == 0) {
            return;
        }
        FlushHeld();
        std::size_t hold = 0;
        if (data[size - 1] == '\n') {
            hold = (size >= 2 && data[size - 2] == '\r') ? 2 : 1;
        }
        Put(data, size - hold);
        m_held.assign(data + size - hold, hold);
    }
    void FlushHeld() {
        if (!m_held.empty()) {
            Put(m_held.data(), m_held.size());
            m_held.clear();
        }
    }
    void DropHeld() { m_held.clear(); }
    bool Failed() const { return m_error != 0; }
    int Error() const { return m_error; }
    std::uint64_t Written() const { return m_written; }
    bool Finish() {
        if (m_file == nullptr) {
            return !Failed();
        }
        if (!Failed() && (std::fflush(m_file) != 0 || std::ferror(m_file) != 0)) {
            m_error = errno != 0 ? errno : EIO;
        }
        if (std::fclose(m_file) != 0 && !Failed()) {
            m_error = errno != 0 ? errno : EIO;
        }
        m_file = nullptr;
        return !Failed();
    }

  private:
    void Put(const char* data, std::size_t size) {
        m_written += size;
        if (m_file != nullptr && size > 0 && !Failed() &&
            std::fwrite(data, 1, size, m_file) != size) {
            m_error = errno != 0 ? errno : EIO;
        }
    }

    std::FILE* m_file;
    std::unique_ptr<char[]> m_buffer;
    std::string m_held;
    std::uint64_t m_written = 0;
    int m_error = 0;
};

StreamLink::StreamLink(std::unique_ptr<ByteStream> stream, std::uint64_t receiveLimit)
    : m_stream(std::move(stream)), m_receiveLimit(receiveLimit), m_chunk(kChunkSize) {}

StreamLink::~StreamLink() = default;

Clock::time_point StreamLink::NextDeadline() const {
    return Clock::now() + std::chrono::milliseconds(m_timeoutMs);
}

Clock::time_point StreamLink::QuietDeadline() const {
    const int ms = std::min<int>(kQuietMs, m_timeoutMs);
    return Clock::now() + std::chrono::milliseconds(ms);
}

StreamLink::Progress StreamLink::ReceiveMore(Clock::time_point deadline) {
    const std::ptrdiff_t n = m_stream->Receive(m_chunk.data(), m_chunk.size(), deadline);
    if (n > 0) {
        m_pending.append(m_chunk.data(), static_cast<std::size_t>(n));
        return Progress::Data;
    }
    return n == 0 ? Progress::TimedOut : Progress::Failed;
}

bool StreamLink::Fail(std::int32_t code, std::uint64_t detail, std::uint64_t expected) {
    m_status = {code, Clamp32(detail), Clamp32(expected)};
    return false;
}

bool StreamLink::FailFor(Progress progress) {
    return progress == Progress::TimedOut ? Fail(KTX_LINK_E_TIMEOUT, m_timeoutMs)
                                          : Fail(KTX_LINK_E_CLOSED);
}

bool StreamLink::SendAll(std::string_view bytes) {
    Clock::time_point deadline = NextDeadline();
    while (!bytes.empty()) {
        const std::ptrdiff_t n = m_stream->Send(bytes, deadline);
        if (n <= 0) {
            return FailFor(n == 0 ? Progress::TimedOut : Progress::Failed);
        }
        bytes.remove_prefix(std::min(bytes.size(), static_cast<std::size_t>(n)));
        deadline = NextDeadline();
    }
    return true;
}

void StreamLink::Consume(std::size_t count) {
    count = std::min(count, m_pending.size());
    m_pending.erase(0, count);
    m_staleBytes -= std::min(m_staleBytes, count);
}

void StreamLink::BeginRead() {
    m_status = {};
    // After a failed read the instrument may still deliver the rest of that answer; what came
    // in before the latest command cannot belong to it, so it goes.
    if (m_afterFailure) {
        Consume(m_staleBytes);
    }
}

bool StreamLink::FinishRead(bool ok) {
    m_wroteSinceRead = false;
    m_staleBytes = 0;
    if (!ok) {
        m_lateEnded = false;
        DropInput();
        m_resyncOwed = true;
        m_resyncDeadline = NextDeadline();
    } else {
        m_resyncOwed = false;  // read again without a new command: the late answer was its own
    }
    m_afterFailure = !ok;
    return ok;
}

void StreamLink::DropInput() {
    std::string dropped;
    m_pending.swap(dropped);
    m_staleBytes = 0;
    m_stream->Drain(dropped);
    NoteLateInput(dropped);
}

void StreamLink::NoteLateInput(std::string_view bytes) {
    if (m_resyncOwed && !bytes.empty()) {
        m_lateEnded = bytes.back() == '\n';
    }
}

void StreamLink::Resynchronise() {
    // A read failed: the rest of its response may still be on its way. Once the next command
    // is out it could no longer be told from the answer to that command, so let it pass first:
    // clear the instrument where the bus can, else discard input until the late response has
    // ended (a line feed, then a quiet line) or one time-out after the failure has passed.
    if (!m_resyncOwed) {
        return;
    }
    m_resyncOwed = false;
    std::string late;
    late.swap(m_pending);
    m_staleBytes = 0;
    if (m_stream->ClearDevice(NextDeadline())) {
        m_stream->Drain(late);
        return;
    }
    bool ended = m_lateEnded || (!late.empty() && late.back() == '\n');
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= m_resyncDeadline) {
            break;
        }
        const Clock::time_point wait =
            ended ? std::min(now + std::chrono::milliseconds(kQuietMs), m_resyncDeadline)
                  : m_resyncDeadline;
        const std::ptrdiff_t n = m_stream->Receive(m_chunk.data(), m_chunk.size(), wait);
        if (n <= 0) {
            break;  // quiet after the end, the deadline, or a broken line (the write will say)
        }
        ended = m_chunk[static_cast<std::size_t>(n) - 1] == '\n';
    }
    late.clear();
    m_stream->Drain(late);
}

void StreamLink::ConsumeTrailingTerminator() {
    // The instrument ends the message after a block with a line feed; take it so the next
    // answer does not start with an empty line. Waits only briefly: GPIB-style ends without it.
    if (m_pending.empty() && ReceiveMore(QuietDeadline()) != Progress::Data) {
        return;
    }
    if (m_pending[0] == '\r') {
        if (m_pending.size() < 2) {
            ReceiveMore(QuietDeadline());
        }
        if (m_pending.size() >= 2 && m_pending[1] == '\n') {
            Consume(2);
        }
    } else if (m_pending[0] == '\n') {
        Consume(1);
    }
}

bool StreamLink::WriteLocked(std::string_view text, bool endMessage) {
    m_status = {};
    Resynchronise();
    m_stream->Drain(m_pending);
    m_staleBytes = m_pending.size();
    m_wroteSinceRead = true;
    if (!endMessage) {
        return SendAll(text);
    }
    std::string message(text);
    if (m_stream->UsesLineTerminator()) {
        message += '\n';
    }
    if (!SendAll(message)) {
        return false;
    }
    // The bus refused the message (GPIB without listener, the simulator's line dropped).
    return m_stream->EndOfMessage(NextDeadline()) || Fail(KTX_LINK_E_CLOSED);
}

bool StreamLink::Write(std::string_view text) {
    std::lock_guard lock(m_mutex);
    return WriteLocked(text, true);
}

bool StreamLink::WriteRaw(std::string_view text) {
    std::lock_guard lock(m_mutex);
    return WriteLocked(text, false);
}

bool StreamLink::Read(char* buffer) {
    std::lock_guard lock(m_mutex);
    buffer[0] = '\0';
    BeginRead();
    // One byte more than fits is kept, so a '\r' before the line feed can be told from a cut.
    constexpr std::size_t kKeep = KTX_LINK_READ_BUFFER;
    std::string answer;
    std::uint64_t total = 0;
    bool cut = false;
    // Each byte may restart the time-out, but the whole answer has to be there by `latest`:
    // an instrument dripping a byte now and then must not hold the caller for ever.
    const Clock::time_point latest =
        NextDeadline() + std::chrono::milliseconds(KTX_LINK_ANSWER_GRACE_MS);
    Clock::time_point deadline = std::min(NextDeadline(), latest);
    for (;;) {
        const std::size_t lf = m_pending.find('\n');
        const std::size_t take = lf == std::string::npos ? m_pending.size() : lf;
        const std::size_t room = kKeep - answer.size();
        answer.append(m_pending, 0, std::min(take, room));
        cut = cut || take > room;
        total += take;
        Consume(lf == std::string::npos ? take : lf + 1);
        if (total > KTX_LINK_MAX_ANSWER) {
            return FinishRead(Fail(KTX_LINK_E_SIZE_LIMIT, KTX_LINK_MAX_ANSWER));
        }
        if (lf != std::string::npos) {
            break;
        }
        const Progress p = ReceiveMore(deadline);
        if (p != Progress::Data) {
            return FinishRead(FailFor(p));
        }
        deadline = std::min(NextDeadline(), latest);
    }
    if (!cut && !answer.empty() && answer.back() == '\r') {
        answer.pop_back();
    }
    answer.resize(std::min<std::size_t>(answer.size(), KTX_LINK_READ_BUFFER - 1));
    std::memcpy(buffer, answer.data(), answer.size());
    buffer[answer.size()] = '\0';
    return FinishRead(true);
}

bool StreamLink::CopyDefiniteBlock(std::uint64_t length, FileSink& sink, bool waitForTerminator) {
    std::uint64_t remaining = length;
    const std::size_t first =
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining, m_pending.size()));
    sink.WriteRaw(m_pending.data(), first);
    Consume(first);
    remaining -= first;
    // The rest goes straight from the transport to the file, bypassing m_pending.
    Clock::time_point deadline = NextDeadline();
    while (remaining > 0 && !sink.Failed()) {
        const std::ptrdiff_t n = m_stream->Receive(m_chunk.data(), m_chunk.size(), deadline);
        if (n <= 0) {
            // Stalled or cut off: either way the block is shorter than announced.
            return Fail(KTX_LINK_E_SHORT_BLOCK, length - remaining, length);
        }
        const std::size_t got = static_cast<std::size_t>(n);
        const std::size_t use = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, got));
        sink.WriteRaw(m_chunk.data(), use);
        remaining -= use;
        m_pending.append(m_chunk.data() + use, got - use);
        deadline = NextDeadline();
    }
    if (sink.Failed()) {
        return Fail(KTX_LINK_E_FILE, static_cast<std::uint64_t>(sink.Error()));
    }
    if (waitForTerminator) {
        ConsumeTrailingTerminator();
    } else {
        // A picture comes without a terminator; one that is already here (a file printed as
        // an answer) goes, but none is waited for.
        m_stream->Drain(m_pending);
        if (m_pending.starts_with("\r\n")) {
            Consume(2);
        } else if (m_pending.starts_with('\n')) {
            Consume(1);
        }
    }
    return true;
}

bool StreamLink::CopyUntilMessageEnd(FileSink& sink, bool successAtTimeout, bool afterLineFeed) {
    // The message ends where a line feed is followed by a quiet line. Without a final line
    // feed only the time-out ends it: a failure for "#0" blocks, the normal end for raw data
    // (hard copies are sent without any framing).
    // A text answer arrives here with its line feed already written: only a quiet line is
    // still needed to end it.
    bool lastWasLf = afterLineFeed;
    bool anyData = sink.Written() > 0;
    Clock::time_point deadline = NextDeadline();
    for (;;) {
        if (!m_pending.empty()) {
            lastWasLf = m_pending.back() == '\n';
            sink.WriteHoldingTerminator(m_pending.data(), m_pending.size());
            Consume(m_pending.size());
            anyData = true;
        }
        if (sink.Failed()) {
            return Fail(KTX_LINK_E_FILE, static_cast<std::uint64_t>(sink.Error()));
        }
        if (sink.Written() > m_receiveLimit) {
            return Fail(KTX_LINK_E_SIZE_LIMIT, m_receiveLimit);
        }
        const Progress p = ReceiveMore(lastWasLf ? QuietDeadline() : deadline);
        if (p == Progress::Data) {
            deadline = NextDeadline();
            continue;
        }
        if (p == Progress::Failed) {
            return FailFor(p);
        }
        if (lastWasLf) {
            sink.DropHeld();
            return true;
        }
        return (successAtTimeout && anyData) || FailFor(p);
    }
}

bool StreamLink::CopyUntilQuiet(FileSink& sink) {
    // A PCX has no length and no end mark; the instrument sends it without any framing, and
    // every byte value occurs inside it (a line feed too, as the very first byte). It has ended
    // when the line stays quiet for the time-out.
    Clock::time_point deadline = NextDeadline();
    for (;;) {
        sink.WriteRaw(m_pending.data(), m_pending.size());
        Consume(m_pending.size());
        if (sink.Failed()) {
            return Fail(KTX_LINK_E_FILE, static_cast<std::uint64_t>(sink.Error()));
        }
        if (sink.Written() > m_receiveLimit) {
            return Fail(KTX_LINK_E_SIZE_LIMIT, m_receiveLimit);
        }
        const Progress p = ReceiveMore(deadline);
        if (p == Progress::TimedOut) {
            return true;
        }
        if (p == Progress::Failed) {
            return FailFor(p);
        }
        deadline = NextDeadline();
    }
}

bool StreamLink::CopyPng(FileSink& sink) {
    // A PNG ends with its IEND chunk: walk the chunk headers (4 bytes length, big-endian, and 4
    // bytes type; data and CRC follow) as they arrive, writing out what lies before the next
    // header, then take the IEND chunk as a block of known length.
    std::uint64_t written = 0;  // bytes of the picture already in the file
    std::uint64_t next = 8;     // offset of the next chunk header in the picture
    Clock::time_point deadline = NextDeadline();
    for (;;) {
        if (next + 8 <= written + m_pending.size()) {
            const char* header = m_pending.data() + (next - written);
            const std::uint64_t length = Be32(header);
            if (length > kMaxPngChunk) {
                sink.WriteRaw(m_pending.data(), m_pending.size());
                return Fail(KTX_LINK_E_PROTOCOL);
            }
            const std::uint64_t end = next + 12 + length;
            if (end > m_receiveLimit) {
                return Fail(KTX_LINK_E_SIZE_LIMIT, m_receiveLimit);
            }
            if (std::memcmp(header + 4, "IEND", 4) == 0) {
                return CopyDefiniteBlock(end - written, sink, false);
            }
            next = end;
            continue;
        }
        const std::size_t flush =
            static_cast<std::size_t>(std::min<std::uint64_t>(m_pending.size(), next - written));
        sink.WriteRaw(m_pending.data(), flush);
        Consume(flush);
        written += flush;
        if (sink.Failed()) {
            return Fail(KTX_LINK_E_FILE, static_cast<std::uint64_t>(sink.Error()));
        }
        const Progress p = ReceiveMore(deadline);
        if (p != Progress::Data) {
            sink.WriteRaw(m_pending.data(), m_pending.size());
            return FailFor(p);
        }
        deadline = NextDeadline();
    }
}

bool StreamLink::ReceiveFileLocked(FileSink& sink) {
    std::size_t scan = 0;
    Clock::time_point deadline = NextDeadline();
    // Screen pictures come as raw bytes in which "#<digit>" and line feeds mean nothing: they
    // are told by their first bytes and end by their own rules.
    for (;;) {
        bool needMore = false;
        const PictureKind kind = PictureStart(m_pending, needMore);
        if (kind == PictureKind::Bmp) {
            const std::uint64_t size = Le32(m_pending.data() + 2);
            if (size > m_receiveLimit) {
                return Fail(KTX_LINK_E_SIZE_LIMIT, m_receiveLimit, size);
            }
            if (size >= 14) {
                return CopyDefiniteBlock(size, sink, false);
            }
            return CopyUntilQuiet(sink);  // a size field of no use: the line decides
        }
        if (kind == PictureKind::Png) {
            return CopyPng(sink);
        }
        if (kind == PictureKind::Pcx) {
            return CopyUntilQuiet(sink);
        }
        if (!needMore) {
            break;
        }
        // Waits the whole time-out for the bytes that decide, not the short quiet time of a
        // text: a pause may follow the PCX's first byte, a line feed. (An empty text answer
        // therefore takes one time-out to receive.)
        const Progress p = ReceiveMore(deadline);
        if (p == Progress::Data) {
            deadline = NextDeadline();
            continue;
        }
        if (p == Progress::Failed || m_pending.empty()) {
            sink.WriteRaw(m_pending.data(), m_pending.size());
            return FailFor(p);
        }
        break;  // a short text answer: the rules below take it
    }
    for (;;) {
        bool needMore = false;
        while (scan < m_pending.size() && !needMore) {
            const char c = m_pending[scan];
            if (c == '#') {
                const BlockHeader header =
                    ParseBlockHeader(std::string_view(m_pending).substr(scan));
                switch (header.kind) {
                    case BlockHeader::Kind::NeedMore:
                        needMore = true;
                        continue;
                    case BlockHeader::Kind::NotBlock:
                        ++scan;  // a '#' inside text, e.g. in a quoted string
                        continue;
                    case BlockHeader::Kind::Invalid:
                        sink.WriteRaw(m_pending.data(), scan);
                        return Fail(KTX_LINK_E_PROTOCOL);
                    case BlockHeader::Kind::Definite:
                    case BlockHeader::Kind::Indefinite: {
                        const std::size_t upTo = scan + header.headerSize;
                        sink.WriteRaw(m_pending.data(), upTo);
                        Consume(upTo);
                        if (header.kind == BlockHeader::Kind::Indefinite) {
                            return CopyUntilMessageEnd(sink, false, false);
                        }
                        // Refused before a byte of it is read: the user set the bound.
                        if (header.length > m_receiveLimit) {
                            return Fail(KTX_LINK_E_SIZE_LIMIT, m_receiveLimit, header.length);
                        }
                        return CopyDefiniteBlock(header.length, sink);
                    }
                }
            }
            if (c == '\n') {
                // A text answer; if more follows at once it was raw data after all.
                sink.WriteHoldingTerminator(m_pending.data(), scan + 1);
                Consume(scan + 1);
                return CopyUntilMessageEnd(sink, true, true);
            }
            ++scan;
        }
        if (!needMore && scan > kMaxHeaderText) {
            return CopyUntilMessageEnd(sink, true, false);
        }
        const Progress p = ReceiveMore(deadline);
        if (p == Progress::Data) {
            deadline = NextDeadline();
            continue;
        }
        if (p == Progress::TimedOut && !needMore && !m_pending.empty()) {
            // Raw data without any terminator, which has stopped: that is its end.
            sink.WriteRaw(m_pending.data(), m_pending.size());
            Consume(m_pending.size());
            return true;
        }
        sink.WriteRaw(m_pending.data(), m_pending.size());
        return FailFor(p);
    }
}

bool StreamLink::ReceiveFile(const char* fileName) {
    std::lock_guard lock(m_mutex);
    BeginRead();
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) {
        Fail(KTX_LINK_E_FILE, static_cast<std::uint64_t>(errno));
        return FinishRead(false);
    }
    FileSink sink(file);
    bool ok = ReceiveFileLocked(sink);
    if (!ok) {
        sink.FlushHeld();  // what arrived stays in the file
    }
    if (!sink.Finish() && ok) {
        ok = Fail(KTX_LINK_E_FILE, static_cast<std::uint64_t>(sink.Error()));
    }
    return FinishRead(ok);
}

bool StreamLink::SendFile(const char* fileName) {
    std::lock_guard lock(m_mutex);
    m_status = {};
    Resynchronise();
    m_stream->Drain(m_pending);
    m_staleBytes = m_pending.size();
    m_wroteSinceRead = true;
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        return Fail(KTX_LINK_E_FILE, static_cast<std::uint64_t>(errno));
    }
    bool ok = true;
    char last = '\0';
    std::size_t n = 0;
    while (ok && (n = std::fread(m_chunk.data(), 1, m_chunk.size(), file)) > 0) {
        last = m_chunk[n - 1];
        ok = SendAll(std::string_view(m_chunk.data(), n));
    }
    if (ok && std::ferror(file) != 0) {
        ok = Fail(KTX_LINK_E_FILE, EIO);
    }
    std::fclose(file);
    if (ok && m_stream->UsesLineTerminator() && last != '\n') {
        ok = SendAll("\n");
    }
    return ok && (m_stream->EndOfMessage(NextDeadline()) || Fail(KTX_LINK_E_CLOSED));
}

bool StreamLink::ReadIndefiniteData(unsigned char* out, std::uint32_t count) {
    // "#0": the data run to the end of the message, a line feed followed by a quiet line.
    std::size_t got = std::min<std::size_t>(count, m_pending.size());
    if (got > 0) {
        std::memcpy(out, m_pending.data(), got);
        Consume(got);
    }
    Clock::time_point deadline = NextDeadline();
    while (got < count) {
        const bool lastWasLf = got > 0 && out[got - 1] == '\n';
        const std::ptrdiff_t n = m_stream->Receive(reinterpret_cast<char*>(out) + got, count - got,
                                                   lastWasLf ? QuietDeadline() : deadline);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            deadline = NextDeadline();
            continue;
        }
        if (n < 0 || !lastWasLf) {
            return FailFor(n < 0 ? Progress::Failed : Progress::TimedOut);
        }
        // The message ended before `count` bytes: its terminator is no data.
        got -= (got >= 2 && out[got - 2] == '\r') ? 2 : 1;
        std::memset(out + got, 0, count - got);
        m_status = {KTX_LINK_SHORT_DATA, Clamp32(got), count};
        return true;
    }
    FileSink discard(nullptr);
    return CopyUntilMessageEnd(discard, true, false);
}

bool StreamLink::ReadDataLocked(unsigned char* out, std::uint32_t count) {
    Clock::time_point deadline = NextDeadline();
    std::uint64_t skipped = 0;
    BlockHeader header;
    for (;;) {
        const std::size_t hash = m_pending.find('#');
        if (hash == std::string::npos) {
            skipped += m_pending.size();
            Consume(m_pending.size());
        } else {
            skipped += hash;
            Consume(hash);
            header = ParseBlockHeader(m_pending);
            if (header.kind == BlockHeader::Kind::Definite ||
                header.kind == BlockHeader::Kind::Indefinite) {
                break;
            }
            if (header.kind != BlockHeader::Kind::NeedMore) {
                return Fail(KTX_LINK_E_PROTOCOL);  // "#" followed by garbage
            }
        }
        if (skipped > kMaxSkipBytes) {
            return Fail(KTX_LINK_E_PROTOCOL);
        }
        const Progress p = ReceiveMore(deadline);
        if (p != Progress::Data) {
            return FailFor(p);
        }
        deadline = NextDeadline();
    }
    Consume(header.headerSize);
    if (header.kind == BlockHeader::Kind::Indefinite) {
        return ReadIndefiniteData(out, count);
    }
    if (header.length > m_receiveLimit) {
        return Fail(KTX_LINK_E_SIZE_LIMIT, m_receiveLimit, header.length);
    }
    // A block shorter than asked for is all there is: the caller gets it, and zeros after it.
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, header.length));
    std::size_t got = std::min(take, m_pending.size());
    if (got > 0) {
        std::memcpy(out, m_pending.data(), got);
        Consume(got);
    }
    deadline = NextDeadline();
    while (got < take) {
        const std::ptrdiff_t n =
            m_stream->Receive(reinterpret_cast<char*>(out) + got, take - got, deadline);
        if (n <= 0) {
            return Fail(KTX_LINK_E_SHORT_BLOCK, got, header.length);
        }
        got += static_cast<std::size_t>(n);
        deadline = NextDeadline();
    }
    // The part of the block beyond `count` belongs to no one; skip it so it cannot pose as
    // the next answer.
    std::uint64_t rest = header.length - take;
    const std::size_t first =
        static_cast<std::size_t>(std::min<std::uint64_t>(rest, m_pending.size()));
    Consume(first);
    rest -= first;
    deadline = NextDeadline();
    while (rest > 0) {
        if (ReceiveMore(deadline) != Progress::Data) {
            return Fail(KTX_LINK_E_SHORT_BLOCK, header.length - rest, header.length);
        }
        const std::size_t drop =
            static_cast<std::size_t>(std::min<std::uint64_t>(rest, m_pending.size()));
        Consume(drop);
        rest -= drop;
        deadline = NextDeadline();
    }
    ConsumeTrailingTerminator();
    if (take < count) {
        std::memset(out + take, 0, count - take);
        m_status = {KTX_LINK_SHORT_DATA, Clamp32(take), count};
    }
    return true;
}

bool StreamLink::ReadData(void* buffer, std::uint32_t count) {
    std::lock_guard lock(m_mutex);
    BeginRead();
    return FinishRead(ReadDataLocked(static_cast<unsigned char*>(buffer), count));
}

void StreamLink::Clear() {
    std::lock_guard lock(m_mutex);
    m_stream->Drain(m_pending);
    if (m_wroteSinceRead) {
        Consume(m_staleBytes);
    } else {
        NoteLateInput(m_pending);
        m_pending.clear();
    }
    m_staleBytes = 0;
}

std::uint16_t StreamLink::SetTimeout(std::uint16_t timeoutMs) {
    std::lock_guard lock(m_mutex);
    const std::uint16_t previous = m_timeoutMs;
    m_timeoutMs = timeoutMs;
    return previous;
}

bool StreamLink::Close() {
    std::lock_guard lock(m_mutex);
    m_pending.clear();
    return m_stream->Close();
}

LinkStatus StreamLink::LastStatus() const {
    std::lock_guard lock(m_mutex);
    return m_status;
}

}  // namespace ktx::linklib
