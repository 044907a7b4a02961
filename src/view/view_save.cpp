// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/view_save.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "waveform/block_file.h"

namespace ktx {

namespace {

struct ByteRange {
    std::uint64_t offset;
    std::uint64_t length;
};

// Writes the ranges of `source` one after the other into `target`.
FileError CopyRanges(const std::string& source, const std::vector<ByteRange>& ranges,
                     const std::string& target, const std::vector<std::string>& own) {
    BlockReader in(source);
    if (!in.IsOpen()) {
        return in.OpenError();
    }
    std::vector<std::string> protect = own;
    protect.push_back(source);
    SafeFile out(target);
    if (!out.Begin(protect)) {
        return out.Error();
    }
    {
        BlockWriter writer(out.TempPath());
        std::vector<std::uint8_t> buffer(BlockReader::kBlockSize);
        for (const ByteRange& r : ranges) {
            if (!in.Seek(r.offset)) {
                out.Fail(EIO);
                return out.Error();
            }
            for (std::uint64_t left = r.length; left > 0;) {
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
                const std::size_t got = in.Read(buffer.data(), want);
                if (got != want) {
                    // The view's own file is private and complete: a short read is a read error.
                    out.Fail(in.Failed() ? EIO : EINVAL);
                    return out.Error();
                }
                writer.Write(buffer.data(), got);
                left -= got;
            }
        }
        if (!writer.Close()) {
            out.Fail(writer.Errno());
            return out.Error();
        }
    }
    out.Commit();
    return out.Error();
}

}  // namespace

FileError SaveWholeFile(const std::string& source, const std::string& target,
                        const std::vector<std::string>& own) {
    BlockReader probe(source);
    if (!probe.IsOpen()) {
        return probe.OpenError();
    }
    return CopyRanges(source, {{0, probe.Size()}}, target, own);
}

FileError SaveRecordRange(const std::string& source, std::size_t recordSize, std::int64_t first,
                          std::int64_t last, const std::string& target,
                          const std::vector<std::string>& own) {
    BlockReader probe(source);
    if (!probe.IsOpen()) {
        return probe.OpenError();
    }
    const auto points = static_cast<std::int64_t>(probe.Size() / recordSize) - 1;
    if (first > last) {
        std::swap(first, last);
    }
    first = std::clamp<std::int64_t>(first, 0, std::max<std::int64_t>(points - 1, 0));
    last = std::clamp<std::int64_t>(last, first, std::max<std::int64_t>(points - 1, 0));
    const std::uint64_t size = recordSize;
    std::vector<ByteRange> ranges{{0, size}};
    if (points > 0) {
        ranges.push_back({(1 + static_cast<std::uint64_t>(first)) * size,
                          static_cast<std::uint64_t>(last - first + 1) * size});
    }
    return CopyRanges(source, ranges, target, own);
}

}  // namespace ktx
