// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the tests: a scratch folder per test, whole-file reads and writes, and a
// notifier that records what would have been shown.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "config/notifier.h"
#include "config/progress.h"

namespace ktx::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

  private:
    std::filesystem::path m_dir;
};

void WriteFile(const std::string& path, const Bytes& bytes);
void WriteFile(const std::string& path, const std::string& text);
Bytes ReadFile(const std::string& path);

Bytes Concat(std::initializer_list<Bytes> parts);
Bytes FromText(const std::string& text);

// The folder of real instrument files, or empty when it is not beside the checkout.
std::string CorpusDir();

// While it lives, no file of this process may grow beyond `bytes`: a write past it fails with
// EFBIG, as on a full disk, without needing one (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    std::uint64_t m_soft;
    void (*m_handler)(int);
};

struct Shown {
    Severity severity;
    int stringId;
    std::string text;
};

class RecordingNotifier final : public Notifier {
  public:
    void Show(Severity severity, const Notice& notice) override {
        shown.push_back({severity, notice.stringId, notice.Text()});
    }
    bool Confirm(const Notice& notice) override {
        shown.push_back({Severity::Info, notice.stringId, notice.Text()});
        return confirmAnswer;
    }

    std::vector<Shown> shown;
    bool confirmAnswer = true;
};

// Records progress calls as "C0" (counter start), "C<n>" (update), "C2" (end), "B..." likewise.
class RecordingProgress final : public ProgressSink {
  public:
    void BarStart(std::int64_t maximum) override {
        calls.push_back("B0:" + std::to_string(maximum));
    }
    void BarStep(std::int64_t remaining) override {
        calls.push_back("B1:" + std::to_string(remaining));
    }
    void BarEnd() override { calls.push_back("B2"); }
    void CounterStart() override { calls.push_back("C0"); }
    void CounterUpdate(std::int64_t blocks) override {
        calls.push_back("C1:" + std::to_string(blocks));
    }
    void CounterEnd() override { calls.push_back("C2"); }

    std::vector<std::string> calls;
};

}  // namespace ktx::test
