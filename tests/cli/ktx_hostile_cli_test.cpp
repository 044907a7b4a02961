// SPDX-License-Identifier: GPL-3.0-or-later
// The real `ktx` program against hostile files, as a user can give them: every writer onto
// targets that are its own source under another name, a FIFO, a device, write-protected, on a
// full disk; every reader of a source that is no file at all. Each run is bounded, so a reader
// that waits on a FIFO fails the test instead of hanging it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "test_files.h"
#include "waveform/real6.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

struct ShellRun {
    int code = -1;
    std::string out;
    std::string err;
    long maxRssKb = 0;
    bool timedOut = false;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs `command` with /bin/sh, killed after 30 s: a run that waits forever fails the test.
ShellRun Shell(const std::string& command, const test::TempDir& dir) {
    const std::string out = dir.Path(".out");
    const std::string err = dir.Path(".err");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ShellRun run;
    int status = 0;
    rusage usage{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(-pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            run.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.maxRssKb = usage.ru_maxrss;
    run.out = Slurp(out);
    run.err = Slurp(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

std::string Ktx() {
    return Quote(KTX_TOOL);
}

// A one-column waveform file of `points` points (x = i ms, y = i).
Bytes WaveFile(std::int64_t points) {
    const auto h = MakeHeader1(ReferenceHeader(WaveLayout::OneColumn), {"V", "#", "#", "#"});
    Bytes b(h.begin(), h.end());
    b.reserve(static_cast<std::size_t>(points + 1) * kOneColumnRecord);
    for (std::int64_t i = 0; i < points; ++i) {
        const TimeField x = SecondsToTimeField(static_cast<double>(i) * 1e-3);
        const Real6 y = Real6::FromDouble(static_cast<double>(i % 1000));
        b.insert(b.end(), x.bytes.begin(), x.bytes.end());
        b.insert(b.end(), y.bytes.begin(), y.bytes.end());
    }
    return b;
}

// An instrument save file of `points` two-byte samples, as the instruments write it.
Bytes IsfFile(int points, bool truncated = false) {
    const std::string count = std::to_string(2 * points);
    Bytes b = test::FromText(":WFMPRE:BYT_NR 2;BIT_NR 16;ENCDG BIN;BN_FMT RI;BYT_OR MSB;NR_PT " +
                             std::to_string(points) +
                             ";XINCR 1.0E-6;PT_OFF 0;YMULT 1.0E-3;YOFF 0;:CURVE #" +
                             std::to_string(count.size()) + count);
    for (int i = 0; i < (truncated ? points / 2 : points); ++i) {
        b.push_back(static_cast<std::uint8_t>(i >> 8));
        b.push_back(static_cast<std::uint8_t>(i));
    }
    return b;
}

// A raw ":CURVE" binary block of `points` two-byte samples; `truncated` ends it half-way.
Bytes CurveFile(int points, bool truncated = false) {
    const std::string count = std::to_string(2 * points);
    Bytes b = test::FromText(":CURVE #" + std::to_string(count.size()) + count);
    b.resize(b.size() + static_cast<std::size_t>(truncated ? points : 2 * points), 3);
    return b;
}

std::size_t Entries(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

// ---------------------------------------------------------------- writers x hostile targets

struct Writer {
    const char* name;
    const char* source;   // file name in the folder
    const char* command;  // SRC (every one) and DST are replaced
    // A target that cannot be made: the column text says so as an access failure.
    const char* createMessage = "Schreibfehler";
    const char* targetName = "target.ktx";  // the suffix chooses the output format of some
    // Commands that check their file names themselves refuse a source as target with their own
    // usage message; the targets about sources are left to their own tests.
    bool sourceTargets = true;
    // A full disk met while receiving is reported as the transfer's failure, with its cause.
    const char* fullDiskMessage = "Schreibfehler";
};

const Writer kWriters[] = {
    {"curve", "raw.bin", "curve SRC DST --xincr 1e-6 --pt-off 0 --yoff 0 --ymult 1e-3 --flags A2"},
    {"compress", "big.ktx", "compress SRC DST --sample"},
    {"cut", "big.ktx", "cut SRC DST --from 0 --count 79999"},
    {"export", "big.ktx", "export SRC DST --format txt", "Dateizugriff verweigert"},
    {"import_isf", "big.isf", "import SRC DST"},
    {"import_ktx", "big.ktx", "import SRC DST"},
    {"read", "", "read CH1 DST --format ktx --stop 2500 --link sim"},
    {"compress_peak", "big.ktx", "compress SRC DST --peak"},
    {"export_xls", "big.ktx", "export SRC DST --format xls", "Dateizugriff verweigert"},
    {"export_fms", "big.ktx", "export SRC DST --format fms"},
    {"fft", "big.ktx", "fft SRC DST --harmonics 1000", "Schreibfehler", "target.fft", false},
    {"math_diff", "big.ktx", "math diff SRC DST", "Schreibfehler", "target.ktx", false},
    {"math_int", "big.ktx", "math int SRC DST", "Schreibfehler", "target.ktx", false},
    {"math_inv", "big.ktx", "math inv SRC DST", "Schreibfehler", "target.ktx", false},
    {"math_smooth", "big.ktx", "math smooth SRC DST --factor 5", "Schreibfehler", "target.ktx",
     false},
    {"math2_add", "big.ktx", "math2 add SRC SRC DST", "Schreibfehler", "target.ktx", false},
    {"picture_bmp", "pic.pcx", "picture SRC DST", "Schreibfehler", "target.bmp", false},
};

enum class Target {
    SameFile,
    HardLink,
    SymLink,
    DotDot,
    Fifo,
    DevNull,
    ReadOnly,
    FullDisk,
    NoFolder
};

struct TargetCase {
    const char* name;
    Target kind;
    const char* message;  // the one line on stderr begins with it
};

const TargetCase kTargets[] = {
    {"same_file", Target::SameFile, "Dateizugriff verweigert"},
    {"hard_link", Target::HardLink, "Dateizugriff verweigert"},
    {"symlink", Target::SymLink, "Dateizugriff verweigert"},
    {"dot_dot", Target::DotDot, "Dateizugriff verweigert"},
    {"fifo", Target::Fifo, "Dateizugriff verweigert"},
    {"dev_null", Target::DevNull, "Dateizugriff verweigert"},
    {"read_only", Target::ReadOnly, "Dateizugriff verweigert"},
    {"full_disk", Target::FullDisk, "Schreibfehler"},
    {"no_folder", Target::NoFolder, "Schreibfehler"},
};

void PrintTo(const Writer& w, std::ostream* os) {
    *os << w.name;
}
void PrintTo(const TargetCase& t, std::ostream* os) {
    *os << t.name;
}

bool AboutSource(Target kind) {
    return kind == Target::SameFile || kind == Target::HardLink || kind == Target::SymLink ||
           kind == Target::DotDot;
}

// Every writer onto every target, but the transfer, which reads no file, onto no source.
std::vector<std::tuple<Writer, TargetCase>> WriterTargets() {
    std::vector<std::tuple<Writer, TargetCase>> cases;
    for (const Writer& w : kWriters) {
        for (const TargetCase& t : kTargets) {
            if ((*w.source != '\0' && w.sourceTargets) || !AboutSource(t.kind)) {
                cases.emplace_back(w, t);
            }
        }
    }
    return cases;
}

class HostileTarget : public ::testing::TestWithParam<std::tuple<Writer, TargetCase>> {};

TEST_P(HostileTarget, RefusedOrFailedWithOneMessageAndNothingLost) {
    const Writer& w = std::get<0>(GetParam());
    const TargetCase& t = std::get<1>(GetParam());
    const bool fromSource = *w.source != '\0';
    if (!fromSource && !fs::exists(fs::path(KTX_TOOL).parent_path() / "ktx_sim.so")) {
        GTEST_SKIP() << "no simulated instrument";
    }
    test::TempDir dir;
    fs::create_directory(dir.Path("sub"));
    const std::string source = dir.Path(fromSource ? w.source : "none");
    if (std::string(w.source) == "raw.bin") {
        test::WriteFile(source, CurveFile(100000));
    } else if (std::string(w.source) == "big.isf") {
        test::WriteFile(source, IsfFile(100000));
    } else if (std::string(w.source) == "pic.pcx") {
        // The simulated instrument's screen (640 x 480): its bitmap is far beyond the limit.
        if (!fs::exists(fs::path(KTX_TOOL).parent_path() / "ktx_sim.so")) {
            GTEST_SKIP() << "no simulated instrument";
        }
        ASSERT_EQ(
            Shell(Ktx() + " hardcopy " + Quote(source) + " --format pcx --link sim", dir).code, 0);
    } else if (fromSource) {
        test::WriteFile(source, WaveFile(200000));
    }
    const Bytes sourceBytes = fromSource ? test::ReadFile(source) : Bytes{};
    const Bytes old = test::FromText("the user's earlier file");
    std::string target = dir.Path(w.targetName);
    std::string limit;
    switch (t.kind) {
        case Target::SameFile:
            target = source;
            break;
        case Target::HardLink:
            fs::create_hard_link(source, target);
            break;
        case Target::SymLink:
            fs::create_symlink(source, target);
            break;
        case Target::DotDot:
            target = dir.Path("sub/../") + fs::path(source).filename().string();
            break;
        case Target::Fifo:
            ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
            break;
        case Target::DevNull:
            // A private device node like /dev/null (root only): a test never risks the
            // system's own, which a faulty writer would replace by a file.
            if (::mknod(target.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
                GTEST_SKIP() << "no device node can be made here";
            }
            break;
        case Target::ReadOnly:
            test::WriteFile(target, old);
            fs::permissions(target, fs::perms::owner_read);
            break;
        case Target::FullDisk:
            // Every output here is far beyond 8 KiB (512-byte blocks): the disk is full long
            // before the end.
            test::WriteFile(target, old);
            limit = "trap '' XFSZ; ulimit -f 16; ";
            break;
        case Target::NoFolder:
            target = dir.Path(std::string("no/such/") + w.targetName);
            break;
    }
    const std::size_t entries = Entries(dir.Path(""));
    std::string command = w.command;
    command.replace(command.find("DST"), 3, Quote(target));
    for (std::size_t at = command.find("SRC"); fromSource && at != std::string::npos;
         at = command.find("SRC", at)) {
        command.replace(at, 3, Quote(source));
    }
    const ShellRun r = Shell(limit + "exec " + Ktx() + " " + command, dir);

    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    const char* message = t.kind == Target::NoFolder   ? w.createMessage
                          : t.kind == Target::FullDisk ? w.fullDiskMessage
                                                       : t.message;
    EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(Entries(dir.Path("")), entries);  // nothing left behind
    if (fromSource) {
        EXPECT_EQ(test::ReadFile(source), sourceBytes);
    }
    if (t.kind == Target::Fifo) {
        EXPECT_TRUE(fs::is_fifo(target));
    } else if (t.kind == Target::DevNull) {
        EXPECT_TRUE(fs::is_character_file(target));
    } else if (t.kind == Target::ReadOnly || t.kind == Target::FullDisk) {
        EXPECT_EQ(test::ReadFile(target), old);
    }
}

INSTANTIATE_TEST_SUITE_P(WritersTimesTargets, HostileTarget, ::testing::ValuesIn(WriterTargets()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).name;
                         });

// ---------------------------------------------------------------- sources that are no files

enum class Source { Fifo, Device, Folder, Missing, Truncated };

struct SourceCase {
    const char* name;
    Source kind;
    const char* command;  // SRC and DST are replaced
    const char* message;
};

const SourceCase kSources[] = {
    {"info_fifo", Source::Fifo, "info SRC", "Dateizugriff verweigert"},
    {"dump_fifo", Source::Fifo, "dump SRC", "Dateizugriff verweigert"},
    {"curve_fifo", Source::Fifo, "curve SRC DST --xincr 1 --pt-off 0 --yoff 0 --ymult 1",
     "Dateizugriff verweigert"},
    {"compress_fifo", Source::Fifo, "compress SRC DST --peak", "Dateizugriff verweigert"},
    {"cut_fifo", Source::Fifo, "cut SRC DST --from 0 --count 5", "Dateizugriff verweigert"},
    {"export_fifo", Source::Fifo, "export SRC DST --format fms", "Dateizugriff verweigert"},
    {"import_fifo", Source::Fifo, "import SRC DST", "Dateizugriff verweigert"},
    {"info_device", Source::Device, "info SRC", "Dateizugriff verweigert"},
    {"dump_device", Source::Device, "dump SRC", "Dateizugriff verweigert"},
    {"curve_device", Source::Device, "curve SRC DST --xincr 1 --pt-off 0 --yoff 0 --ymult 1",
     "Dateizugriff verweigert"},
    {"compress_device", Source::Device, "compress SRC DST --sample", "Dateizugriff verweigert"},
    {"cut_device", Source::Device, "cut SRC DST --from 0 --count 5", "Dateizugriff verweigert"},
    {"import_device", Source::Device, "import SRC DST", "Dateizugriff verweigert"},
    {"import_folder", Source::Folder, "import SRC DST", "Dateizugriff verweigert"},
    {"info_missing", Source::Missing, "info SRC", "Datei nicht gefunden"},
    {"curve_missing", Source::Missing, "curve SRC DST --xincr 1 --pt-off 0 --yoff 0 --ymult 1",
     "Datei nicht gefunden"},
    {"compress_missing", Source::Missing, "compress SRC DST --sample", "Datei nicht gefunden"},
    {"export_missing", Source::Missing, "export SRC DST --format txt", "Datei nicht gefunden"},
    {"import_missing", Source::Missing, "import SRC DST", "Datei nicht gefunden"},
    // A block that ends early is no curve: the 2 000-point target stays, not 1 000 of them.
    {"curve_truncated", Source::Truncated, "curve SRC DST --xincr 1 --pt-off 0 --yoff 0 --ymult 1",
     "ungültiges Dateiformat"},
    {"import_truncated", Source::Truncated, "import SRC DST", "Operation fehlgeschlagen"},
    // Past the end of the file: a message, not a file of a header alone.
    {"cut_past_end", Source::Truncated, "cut SRC DST --from 2000 --count 5",
     "ungültiger Startwert: 2000"},
};

void PrintTo(const SourceCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileSource : public ::testing::TestWithParam<SourceCase> {};

TEST_P(HostileSource, RefusedWithOneMessageWithoutWaitingAndTheTargetStays) {
    const SourceCase& c = GetParam();
    test::TempDir dir;
    std::string command = c.command;
    const bool import = command.rfind("import", 0) == 0;
    const bool curve = command.rfind("curve", 0) == 0;
    // Named as the command expects its sources: the importer goes by the extension.
    const std::string source = dir.Path(import ? "src.isf" : curve ? "src.raw" : "src.ktx");
    switch (c.kind) {
        case Source::Fifo:
            ASSERT_EQ(::mkfifo(source.c_str(), 0600), 0);
            break;
        case Source::Device:
            fs::create_symlink("/dev/zero", source);
            break;
        case Source::Folder:
            fs::create_directory(source);
            break;
        case Source::Missing:
            break;
        case Source::Truncated:
            test::WriteFile(source, import  ? IsfFile(2000, true)
                                    : curve ? CurveFile(2000, true)
                                            : WaveFile(2000));
            break;
    }
    const std::string target = dir.Path("target.ktx");
    const Bytes old = WaveFile(2000);
    test::WriteFile(target, old);
    command.replace(command.find("SRC"), 3, Quote(source));
    if (const auto at = command.find("DST"); at != std::string::npos) {
        command.replace(at, 3, Quote(target));
    }
    const ShellRun r = Shell("exec " + Ktx() + " " + command, dir);
    ASSERT_FALSE(r.timedOut) << "waited on " << c.name;
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(test::ReadFile(target), old);
}

INSTANTIATE_TEST_SUITE_P(Commands, HostileSource, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- any size, same memory

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct StreamCase {
    const char* name;
    const char* command;  // SRC and DST are replaced
};

class LargeFile : public ::testing::TestWithParam<StreamCase> {};

// A 600 MB waveform file (sparse: all its points are zero). Its records take 600 MB in
// memory; a command that streams them needs a few.
TEST_P(LargeFile, TakesConstantMemory) {
    if (kSanitized) {
        GTEST_SKIP() << "the sanitizers' own memory would be measured";
    }
    test::TempDir dir;
    const std::string source = dir.Path("large.ktx");
    test::WriteFile(source, WaveFile(0));
    fs::resize_file(source, 12 * (1 + 50'000'000));
    std::string command = GetParam().command;
    command.replace(command.find("KTX"), 3, Ktx());
    command.replace(command.find("SRC"), 3, Quote(source));
    if (const auto at = command.find("DST"); at != std::string::npos) {
        command.replace(at, 3, Quote(dir.Path("out.txt")));
    }
    const ShellRun r = Shell(command, dir);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.err.find("nicht genug Speicher"), std::string::npos) << r.err;
    EXPECT_LT(r.maxRssKb, 64 * 1024) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LargeFile,
    ::testing::Values(
        StreamCase{"info", "exec KTX info SRC"},
        // The first lines are enough to see whether the file was loaded first.
        StreamCase{"dump", "KTX dump SRC | head -c 1000"},
        // The text would take 2.4 GB: the disk is "full" after 1 MB.
        StreamCase{"export", "trap '' XFSZ; ulimit -f 2048; exec KTX export SRC DST --format fms"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ktx
