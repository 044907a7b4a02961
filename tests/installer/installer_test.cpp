// SPDX-License-Identifier: GPL-3.0-or-later
// The installer end to end: a medium laid out by the test (plain files, files compressed by
// mscompress, language folders, data folders in the medium's own letter case) installed into a
// scratch root whose XDG folders point into it, checked file by file, then uninstalled until
// nothing is left. Failures: a copy that cannot finish, paths too long, disks too small.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "installer/install_list.h"
#include "installer/install_tables.h"
#include "installer/installation.h"
#include "installer/lz_copy.h"
#include "installer/program_group.h"
#include "installer/uninstall.h"
#include "test_files.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

bool HaveTool(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Compresses `path` with mscompress (which writes `path_`) and returns the compressed file.
std::string Compress(const std::string& path) {
    const std::string cmd = "mscompress '" + path + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return path + "_";
}

// Text that the LZ coder really compresses, and noise that it does not.
std::string Repetitive(const std::string& tag, std::size_t size) {
    std::string s;
    while (s.size() < size) {
        s += tag + " 0123456789 abcdefghij\n";
    }
    s.resize(size);
    return s;
}
std::string Noise(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s) {
        c = static_cast<char>(rng());
    }
    return s;
}

std::string Slurp(const fs::path& p) {
    const test::Bytes b = ReadFile(p.string());
    return std::string(b.begin(), b.end());
}

std::vector<std::string> ListLines(const fs::path& list) {
    std::vector<std::string> lines;
    std::ifstream in(list);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Everything below `root`, relative, folders with a trailing "/".
std::set<std::string> Tree(const fs::path& root) {
    std::set<std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        out.insert(fs::relative(it->path(), root).string() + (it->is_directory() ? "/" : ""));
    }
    return out;
}

struct RecordingUi final : InstallerUi {
    void ShowFile(const std::string& path) override { files.push_back(path); }
    void Progress(std::uint64_t done) override { progress = done; }
    bool AskContinue(const std::string& text) override {
        shown.push_back("ask:" + text);
        return continueAnswer;
    }
    void Warn(const std::string& text) override { shown.push_back("warn:" + text); }
    void Error(const std::string& text) override { shown.push_back("error:" + text); }
    std::optional<std::string> NextDisk(const std::string& text) override {
        shown.push_back("disk:" + text);
        if (disks.empty()) {
            return std::nullopt;
        }
        std::string next = disks.front();
        disks.pop_front();
        return next;
    }
    bool Showed(const std::string& prefix) const {
        return std::any_of(shown.begin(), shown.end(),
                           [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
    }

    std::vector<std::string> files;
    std::vector<std::string> shown;
    std::deque<std::string> disks;
    std::uint64_t progress = 0;
    bool continueAnswer = true;
};

// A medium: every file of the table (language-specific ones in each language folder, with the
// language in their content), half of them compressed, data folders spelt as another system
// writes them, one subfolder that is descended into and one that is not.
class Medium {
  public:
    explicit Medium(const fs::path& root) : m_root(root) {
        fs::create_directories(root);
        WriteFile((root / "install.txt").string(), std::string("Read me first\n"));
        int n = 0;
        for (const InstallFile& f : kInstallFiles) {
            for (const std::string lang : {"GER", "ENG"}) {
                if (!f.languageSpecific && lang != "GER") {
                    continue;
                }
                const fs::path folder = f.languageSpecific ? root / lang : root;
                fs::create_directories(folder);
                const std::string content =
                    n % 3 == 2 ? Noise(3000 + n, n) : Repetitive(lang + ":" + f.name, 5000 + 7 * n);
                Put(folder, f.name, content, n % 2);
                ++n;
            }
        }
        Put(root / "DRIVER", "kt_tds210.ini", Slurp(fs::path(KTX_DRIVER_DIR) / "kt_tds210.ini"),
            true);
        Put(root / "DRIVER" / "extra", "notes.txt", Repetitive("notes", 900), true);
        Put(root / "DRIVER" / "x.old", "skip.txt", "not copied\n", false);
        Put(root / "TELECOM", "line.set", Repetitive(":TRIG;:CH1", 2000), false);
        Put(root / "Demo", "demo.ktx", Noise(4096, 7), false);
        Put(root / "Demo", "long.ktx", Repetitive("long", 120000), true);
        Put(root / "GER" / "help", "index.html", "<p>Hilfe</p>\n", false);
        // mscompress spoils files shorter than 16 bytes: compressed ones here are longer.
        Put(root / "ENG" / "help", "index.html", "<html><p>Help</p></html>\n", true);
    }

    // What the installed file `relative` (below the destination) must hold.
    const std::map<std::string, std::string>& Expected(const std::string& lang) {
        return m_expected[lang];
    }

  private:
    void Put(const fs::path& folder, const std::string& name, const std::string& content,
             bool compressed) {
        fs::create_directories(folder);
        const fs::path plain = folder / name;
        WriteFile(plain.string(), content);
        if (compressed) {
            const std::string packed = Compress(plain.string());
            // Both names occur on media: the original one and the compressor's "name_".
            if (name.size() % 2 == 0) {
                fs::rename(packed, plain);
            } else {
                fs::remove(plain);
            }
        }
        const std::string rel = fs::relative(plain, m_root).string();
        for (const std::string lang : {"GER", "ENG"}) {
            std::string target = rel;
            if (target.rfind("GER/", 0) == 0 || target.rfind("ENG/", 0) == 0) {
                if (target.substr(0, 3) != lang) {
                    continue;
                }
                target = target.substr(4);
            }
            if (target.rfind("DRIVER/", 0) == 0) {
                target = "Driver/" + target.substr(7);
            } else if (target.rfind("TELECOM/", 0) == 0) {
                target = "Telecom/" + target.substr(8);
            }
            if (target.find("x.old/") != std::string::npos || target == "install.txt") {
                continue;
            }
            m_expected[lang][target] = content;
        }
    }

    fs::path m_root;
    std::map<std::string, std::map<std::string, std::string>> m_expected;
};

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("mscompress")) {
            GTEST_SKIP() << "mscompress is not installed (scripts/install-deps.sh installs it)";
        }
        fs::create_directories(m_root);
    }

    InstallRequest Request(int language) const {
        return {m_medium.string(),
                m_root.string() + "/ktx4/",
                language,
                {(m_root / "data").string(), (m_root / "config").string()}};
    }

    TempDir m_tmp;
    fs::path m_root = m_tmp.Path("root");
    fs::path m_medium = m_tmp.Path("medium");
};

// Every file of the destination is listed, every listed file exists, the list starts with the
// destination.
void ExpectCompleteList(const fs::path& dest) {
    const auto lines = ListLines(dest / kUninstallListName);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Dir:" + dest.string());
    std::set<std::string> listed;
    for (const auto& line : lines) {
        UninstallEntry e;
        ASSERT_TRUE(ParseUninstallLine(line, e)) << line;
        EXPECT_TRUE(fs::exists(e.path)) << line;
        listed.insert(e.path);
    }
    for (const auto& rel : Tree(dest)) {
        const fs::path p = dest / fs::path(rel).lexically_normal();
        if (rel != kUninstallListName) {
            EXPECT_TRUE(listed.count(StripTrailingSeparators(p.string()))) << rel << " not listed";
        }
    }
}

struct LanguageCase {
    int language;
    const char* folder;
};

class InstallRoundTrip : public InstallerTest,
                         public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(InstallRoundTrip, InstallsEverythingAndUninstallsWithoutTrace) {
    Medium medium(m_medium);
    RecordingUi ui;
    ASSERT_TRUE(Install(Request(GetParam().language), ui)) << ::testing::PrintToString(ui.shown);
    EXPECT_TRUE(ui.shown.empty()) << ::testing::PrintToString(ui.shown);

    const fs::path dest = m_root / "ktx4";
    const auto& expected = medium.Expected(GetParam().folder);
    for (const auto& [rel, content] : expected) {
        ASSERT_TRUE(fs::is_regular_file(dest / rel)) << rel;
        EXPECT_EQ(Slurp(dest / rel), content) << rel << " differs";
    }
    // Nothing else: not the skipped subfolder, no temporary files.
    std::set<std::string> files;
    for (const auto& rel : Tree(dest)) {
        if (rel.back() != '/' && rel != kUninstallListName) {
            files.insert(rel);
        }
    }
    std::set<std::string> want;
    for (const auto& [rel, content] : expected) {
        want.insert(rel);
    }
    EXPECT_EQ(files, want);

    // The folders carry the program's spelling, whatever the medium said.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dest)) {
        names.insert(e.path().filename().string());
    }
    for (const char* folder : {"Driver", "Telecom", "Demo", "help"}) {
        EXPECT_TRUE(names.count(folder)) << folder;
    }
    // Programs stay runnable, everything else is plain rw-r--r--.
    for (const InstallFile& f : kInstallFiles) {
        const auto perms = fs::status(dest / f.name).permissions();
        EXPECT_EQ(perms, f.executable ? fs::perms(0755) : fs::perms(0644)) << f.name;
    }
    ExpectCompleteList(dest);

    // The menu: one directory file, one menu file, three entries, all valid and listed.
    const fs::path apps = m_root / "data" / "applications";
    for (const fs::path& p :
         {apps / "kurvitex-ktx.desktop", apps / "kurvitex-uninstal.desktop",
          apps / "kurvitex-readme.desktop", m_root / "data/desktop-directories/kurvitex.directory",
          m_root / "config/menus/applications-merged/kurvitex.menu"}) {
        EXPECT_TRUE(fs::is_regular_file(p)) << p;
    }
    EXPECT_NE(Slurp(apps / "kurvitex-readme.desktop")
                  .find("Exec=xdg-open \"" + (dest / "readme.txt").string() + "\""),
              std::string::npos);
    if (HaveTool("desktop-file-validate")) {
        for (const char* p : {"data/applications/kurvitex-ktx.desktop",
                              "data/applications/kurvitex-uninstal.desktop",
                              "data/applications/kurvitex-readme.desktop",
                              "data/desktop-directories/kurvitex.directory"}) {
            const std::string cmd = "desktop-file-validate '" + (m_root / p).string() + "'";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
    }

    const UninstallReport report = Uninstall((dest / kUninstallListName).string());
    EXPECT_TRUE(report.listRead);
    EXPECT_TRUE(report.kept.empty()) << ::testing::PrintToString(report.kept);
    EXPECT_FALSE(fs::exists(m_root / "ktx4"));
    EXPECT_TRUE(Tree(m_root).empty()) << ::testing::PrintToString(Tree(m_root));
}

INSTANTIATE_TEST_SUITE_P(Languages, InstallRoundTrip,
                         ::testing::Values(LanguageCase{1, "ENG"}, LanguageCase{7, "GER"}));

TEST_F(InstallerTest, UninstallKeepsWhatTheUserAddedAndWhatTheListMustNotName) {
    Medium medium(m_medium);
    RecordingUi ui;
    ASSERT_TRUE(Install(Request(0), ui));
    const fs::path dest = m_root / "ktx4";
    // The user's own file in an installed folder, and a foreign file a list names.
    WriteFile((dest / "Driver" / "kt_mine.ini").string(), std::string("[DEVICE]\n"));
    const fs::path foreign = m_tmp.Path("foreign.txt");
    const fs::path foreignMenu = m_tmp.Path("foreign.desktop");
    WriteFile(foreign.string(), std::string("keep"));
    WriteFile(foreignMenu.string(), std::string("keep"));
    {
        std::ofstream list(dest / kUninstallListName, std::ios::app);
        list << "Fil:" << foreign.string() << "\n"
             << "Fil:" << (dest / ".." / "foreign.txt").string() << "\n"
             << "Grp:" << foreign.string() << "\n"
             << "Fil:relative.txt\n"
             << "Dir:" << m_tmp.Path("") << "\n";
    }
    const UninstallReport report = Uninstall((dest / kUninstallListName).string());
    EXPECT_TRUE(fs::exists(foreign));
    EXPECT_TRUE(fs::exists(foreignMenu));
    EXPECT_EQ(Slurp(dest / "Driver" / "kt_mine.ini"), "[DEVICE]\n");
    EXPECT_EQ(Tree(dest), (std::set<std::string>{"Driver/", "Driver/kt_mine.ini"}));
}

// A first folder that is the root or climbs out with ".." would make every file the list names
// count as installed: such a list removes nothing.
TEST_F(InstallerTest, UninstallRefusesAListWhoseFolderIsNoInstalledFolder) {
    const fs::path victim = m_tmp.Path("victim.txt");
    const fs::path list = m_tmp.Path("uninstal.txt");
    for (const std::string& first :
         {std::string("/"), std::string("//"), m_tmp.Path("ktx4") + "/..",
          m_tmp.Path("ktx4") + "/../.", std::string("/./")}) {
        SCOPED_TRACE(first);
        WriteFile(victim.string(), std::string("keep"));
        WriteFile(list.string(), "Dir:" + first + "\nFil:" + victim.string() + "\n");
        const UninstallReport report = Uninstall(list.string());
        EXPECT_TRUE(report.listRead);
        EXPECT_TRUE(report.removed.empty()) << ::testing::PrintToString(report.removed);
        EXPECT_EQ(Slurp(victim), "keep");
        EXPECT_TRUE(fs::exists(list));
    }
}

TEST_F(InstallerTest, FailedCopyLeavesNoPartialFileAndAFullList) {
    Medium medium(m_medium);
    const fs::path dest = m_root / "ktx4";
    // A target that cannot be replaced (a folder where a library goes) stops the installation
    // half-way, and a disk that fills up in the middle of an expansion does the same.
    struct Case {
        const char* name;
        bool blockByFolder;
        std::uint64_t sizeLimit;
    };
    for (const Case& c : {Case{"folder in the way", true, 0}, Case{"disk full", false, 60000}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_root);
        fs::create_directories(dest);
        if (c.blockByFolder) {
            fs::create_directories(dest / "ktx_tcp.so" / "inside");
        }
        RecordingUi ui;
        bool ok = true;
        {
            std::optional<test::FileSizeLimit> limit;
            if (c.sizeLimit != 0) {
                limit.emplace(c.sizeLimit);
            }
            ok = Install(Request(0), ui);
        }
        EXPECT_FALSE(ok);
        EXPECT_TRUE(ui.Showed("error:Error while during copy !!"))
            << ::testing::PrintToString(ui.shown);
        EXPECT_TRUE(ui.Showed("warn:Installation not successful"));
        // No group after a failure.
        EXPECT_FALSE(fs::exists(m_root / "data"));
        if (c.blockByFolder) {
            fs::remove_all(dest / "ktx_tcp.so");
        }
        // No partial file: whatever lies in the destination is listed.
        ExpectCompleteList(dest);
        EXPECT_GT(ListLines(dest / kUninstallListName).size(), 2u);
    }
}

TEST_F(InstallerTest, RefusesPathsLongerThanEightyCharacters) {
    Medium medium(m_medium);
    const std::string base = m_root.string() + "/";
    const std::size_t list = std::string("/uninstal.txt").size();
    ASSERT_LT(base.size() + list, kMaxInstallPath);
    const std::size_t pad = kMaxInstallPath - list - base.size();
    // The list beside the destination one character too long: refused before anything is
    // made. Just short enough: the list is written, longer paths below are refused one by one.
    struct Case {
        std::string destination;
        bool ok;
        bool anythingMade;
    };
    for (const Case& c :
         {Case{base + std::string(pad + 1, 'd'), false, false},
          Case{base + std::string(pad, 'd'), false, true}, Case{base + "d", true, true}}) {
        SCOPED_TRACE(c.destination.size());
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        RecordingUi ui;
        InstallRequest r = Request(0);
        r.destination = c.destination;
        EXPECT_EQ(Install(r, ui), c.ok);
        EXPECT_EQ(ui.Showed("error:Path longer than 80 characters: "), !c.ok)
            << ::testing::PrintToString(ui.shown);
        EXPECT_EQ(Tree(m_root).empty(), !c.anythingMade);
        if (!c.ok) {
            // Nothing was made under a name cut to fit.
            for (const auto& rel : Tree(m_root)) {
                EXPECT_LE((m_root / rel).string().size(), kMaxInstallPath + 1) << rel;
            }
        }
    }
}

TEST_F(InstallerTest, CancelAtAMissingFileSkipsTheGroup) {
    Medium medium(m_medium);
    fs::remove(m_medium / "kurvitex.ini");
    fs::remove(m_medium / "kurvitex.ini_");
    struct Case {
        bool answer;
        bool ok;
    };
    for (const Case& c : {Case{false, false}, Case{true, true}}) {
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        RecordingUi ui;
        ui.continueAnswer = c.answer;
        EXPECT_EQ(Install(Request(0), ui), c.ok);
        EXPECT_TRUE(ui.Showed("ask:File " + (m_medium / "kurvitex.ini").string() + " not found"));
        EXPECT_EQ(ui.Showed("warn:Installation not successful"), !c.ok);
        EXPECT_EQ(fs::exists(m_root / "data/applications/kurvitex-ktx.desktop"), c.ok);
        ExpectCompleteList(m_root / "ktx4");
    }
}

TEST_F(InstallerTest, DisksAreJudgedByTheExpandedSize) {
    TempDir mediumDir;
    // A medium of one well compressible file on disks: the program.
    const fs::path ger = fs::path(mediumDir.Path("GER"));
    fs::create_directories(ger);
    const std::string program = Repetitive("kurvitex", 200000);
    WriteFile((ger / "kurvitex").string(), program);
    fs::rename(Compress((ger / "kurvitex").string()), ger / "kurvitex");
    const std::uint64_t packed = fs::file_size(ger / "kurvitex");
    ASSERT_LT(packed, program.size() / 4);
    ASSERT_EQ(ExpandedSize((ger / "kurvitex").string()), program.size());

    struct Case {
        const char* name;
        std::uint64_t firstFree;
        std::uint64_t secondFree;  // 0: no second disk offered
        bool ok;
        const char* where;  // "disk1", "disk2" or ""
    };
    const std::uint64_t big = program.size() * 2;
    for (const Case& c : {
             Case{"fits", big, 0, true, "disk1"},
             Case{"only the packed size fits", packed * 2, big, true, "disk2"},
             Case{"second disk too small", packed * 2, packed * 2, false, ""},
             Case{"no second disk", packed * 2, 0, false, ""},
         }) {
        SCOPED_TRACE(c.name);
        TempDir out;
        const std::string disk1 = out.Path("disk1");
        const std::string disk2 = out.Path("disk2");
        RecordingUi ui;
        ui.continueAnswer = true;  // the other files are missing: go on
        if (c.secondFree != 0) {
            ui.disks.push_back(disk2);
        }
        const std::map<std::string, std::uint64_t> free = {{disk1, c.firstFree},
                                                           {disk2, c.secondFree}};
        const bool ok = MakeDisks(
            {mediumDir.Path(""), disk1, 0}, ui,
            [&](const std::string& f) -> std::optional<std::uint64_t> { return free.at(f); });
        EXPECT_EQ(ok, c.ok) << ::testing::PrintToString(ui.shown);
        EXPECT_EQ(ui.Showed("disk:Insert new disk"), std::string(c.where) != "disk1");
        EXPECT_EQ(ui.Showed("error:not enough space"), c.secondFree != 0 && !c.ok);
        if (c.ok) {
            EXPECT_EQ(Slurp(fs::path(out.Path(c.where)) / "kurvitex"), program);
        }
    }
}

TEST(LzCopy, ExpandsCompressedFilesCopiesOthersAndRefusesDamage) {
    if (!HaveTool("mscompress")) {
        GTEST_SKIP() << "mscompress is not installed";
    }
    TempDir tmp;
    struct Case {
        const char* name;
        std::string content;
        bool compress;
        std::size_t cutCompressedTo;  // 0: whole
        bool ok;
    };
    const std::vector<Case> cases = {
        {"plain text", Repetitive("plain", 10000), false, 0, true},
        {"empty", "", false, 0, true},
        {"looks almost compressed", "SZDD\x88\xF0\x27", false, 0, true},
        {"compressed text", Repetitive("packed", 70000), true, 0, true},
        {"compressed noise", Noise(20000, 3), true, 0, true},
        {"truncated header", Repetitive("cut", 5000), true, 10, false},
        {"truncated data", Repetitive("cut", 50000), true, 600, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string plain = tmp.Path("src.bin");
        std::string source = plain;
        WriteFile(plain, c.content);
        if (c.compress) {
            source = Compress(plain);
            if (c.cutCompressedTo != 0) {
                fs::resize_file(source, c.cutCompressedTo);
            }
        }
        const std::string target = tmp.Path("out.bin");
        const LzCopyResult r = LzCopy(source, target, false);
        EXPECT_EQ(r.ok, c.ok) << r.error;
        if (c.ok) {
            EXPECT_EQ(Slurp(target), c.content);
            EXPECT_EQ(ExpandedSize(source), c.content.size());
            EXPECT_EQ(IsLzCompressed(source), c.compress);
        } else {
            EXPECT_FALSE(fs::exists(target));
            EXPECT_FALSE(r.error.empty());
        }
        // Nothing but the sources and the finished target.
        for (const auto& rel : Tree(tmp.Path(""))) {
            EXPECT_TRUE(rel == "src.bin" || rel == "src.bin_" || rel == "out.bin") << rel;
        }
        fs::remove(target);
        fs::remove(plain);
        fs::remove(plain + "_");
    }
}

TEST(LzCopy, NormalAttributesKeepExecuteBits) {
    TempDir tmp;
    struct Case {
        unsigned sourceMode;
        bool executable;
        unsigned want;
    };
    for (const Case& c : {Case{0600, false, 0644}, Case{0755, false, 0755}, Case{0744, false, 0755},
                          Case{0644, true, 0755}, Case{0444, false, 0644}}) {
        SCOPED_TRACE(c.sourceMode);
        const std::string src = tmp.Path("src");
        const std::string dst = tmp.Path("dst");
        WriteFile(src, std::string("#!/bin/sh\n"));
        ::chmod(src.c_str(), c.sourceMode);
        ASSERT_TRUE(LzCopy(src, dst, c.executable).ok);
        EXPECT_EQ(fs::status(dst).permissions(), fs::perms(c.want));
        fs::remove(src);
        fs::remove(dst);
    }
}

TEST(ProgramGroup, ExecArgumentsSurviveAnyFolderName) {
    struct Case {
        std::string path;
        std::string quoted;
    };
    for (const Case& c : {
             Case{"/opt/ktx4/kurvitex", R"("/opt/ktx4/kurvitex")"},
             Case{"/home/a b/ktx4", R"("/home/a b/ktx4")"},
             Case{"/x/$HOME/`id`", R"("/x/\\$HOME/\\`id\\`")"},
             Case{"/x/100%", R"("/x/100%%")"},
             Case{"/x/say \"hi\"", R"("/x/say \\"hi\\"")"},
             Case{"/x/back\\slash", R"("/x/back\\\\slash")"},
         }) {
        EXPECT_EQ(QuoteExecArgument(c.path), c.quoted) << c.path;
    }
    if (!HaveTool("desktop-file-validate")) {
        return;
    }
    TempDir tmp;
    const std::string odd = "/home/a b/$x/100%/\"q\"/back\\slash";
    for (const MenuItem& item : {ProgramItem(odd), UninstallItem(odd), ReadmeItem(odd)}) {
        const std::string path = tmp.Path(item.id + ".desktop");
        WriteFile(path, DesktopEntryText(item));
        const std::string cmd = "desktop-file-validate '" + path + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << DesktopEntryText(item);
    }
}

}  // namespace
}  // namespace ktx
