// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a file on the installation medium, copied by the installer: expanded when
// it carries the SZDD signature, copied as it is otherwise. Beyond "no crash": a copy that
// succeeds holds exactly what an independent decoder written from the format's description
// (LZSS, 4096-byte window filled with blanks, one flag byte per eight items, least significant
// bit first) makes of the file, as many bytes as the header states; a copy that fails leaves
// neither the target nor a temporary file; an uncompressed file arrives unchanged. Also the
// installed name and the size the installer checks the free space with.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "installer/lz_copy.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

constexpr unsigned char kNormal[] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
constexpr unsigned char kQBasic[] = {'S', 'Z', ' ', 0x88, 0xF0, 0x27, 0x33, 0xD1};

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The whole stream behind the header, expanded until the input ends.
std::string Expand(const std::uint8_t* in, std::size_t size, unsigned start) {
    std::array<unsigned char, 4096> window;
    window.fill(' ');
    unsigned pos = start;
    std::string out;
    std::size_t i = 0;
    while (i < size) {
        const unsigned flags = in[i++];
        for (int bit = 0; bit < 8 && i < size; ++bit) {
            if ((flags >> bit) & 1) {
                out.push_back(static_cast<char>(in[i]));
                window[pos] = in[i++];
                pos = (pos + 1) & 4095;
            } else {
                if (i + 1 >= size) {
                    return out;  // half a pair: the stream ends
                }
                unsigned from = in[i] | (in[i + 1] & 0xF0) << 4;
                const unsigned length = (in[i + 1] & 0x0F) + 3;
                i += 2;
                for (unsigned k = 0; k < length; ++k) {
                    const unsigned char c = window[from];
                    out.push_back(static_cast<char>(c));
                    window[pos] = c;
                    pos = (pos + 1) & 4095;
                    from = (from + 1) & 4095;
                }
            }
        }
    }
    return out;
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path folder = ktx::fuzz::ScratchFolder("ktx-fuzz-lz");
    const fs::path source = folder / "medium.tx_";
    const fs::path target = folder / "installed.txt";
    std::error_code ec;
    fs::remove(target, ec);
    if (std::FILE* f = std::fopen(source.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }

    // The normal form names its method in byte 8: "A" is the only one there is.
    const bool normal = size >= 14 && std::memcmp(data, kNormal, 8) == 0 && data[8] == 'A';
    const bool qbasic = size >= 12 && std::memcmp(data, kQBasic, 8) == 0;
    const std::string name = ktx::ExpandedName(source.string());
    // "medium.tx_", its last letter put back, or without the "_".
    Check(name.size() == 9 || name.size() == 10);
    Check(name.find('/') == std::string::npos);
    const auto expandedSize = ktx::ExpandedSize(source.string());
    Check(expandedSize.has_value());
    if (normal) {
        Check(*expandedSize == Le32(data + 10));
    } else if (size >= 14 && std::memcmp(data, kNormal, 8) == 0) {
        Check(*expandedSize == Le32(data + 10));
    } else if (qbasic) {
        Check(*expandedSize == Le32(data + 8));
    } else if (size < 8 || (std::memcmp(data, kNormal, 8) != 0 && std::memcmp(data, kQBasic, 8))) {
        Check(*expandedSize == size);
    }

    const ktx::LzCopyResult r = ktx::LzCopy(source.string(), target.string(), false);
    if (!r.ok) {
        Check(!r.error.empty());
        Check(!fs::exists(target));
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string n = entry.path().filename().string();
            Check(n == "medium.tx_");  // no temporary file left behind
        }
        // An uncompressed file is always copied; a compressed one fails only when damaged.
        Check(normal || qbasic ||
              (size >= 8 &&
               (std::memcmp(data, kNormal, 8) == 0 || std::memcmp(data, kQBasic, 8) == 0)));
        if (normal) {
            Check(Expand(data + 14, size - 14, 4096 - 16).size() != Le32(data + 10));
        }
        return 0;
    }
    const std::string copied = Slurp(target);
    if (normal) {
        Check(copied.size() == Le32(data + 10));
        Check(copied == Expand(data + 14, size - 14, 4096 - 16));
    } else if (qbasic) {
        Check(copied.size() == Le32(data + 8));
    } else if (size < 8 || (std::memcmp(data, kNormal, 8) != 0 && std::memcmp(data, kQBasic, 8))) {
        Check(copied == std::string(reinterpret_cast<const char*>(data), size));
    }
    return 0;
}
