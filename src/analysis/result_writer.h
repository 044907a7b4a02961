// SPDX-License-Identifier: GPL-3.0-or-later
// Where the analysis functions write their results: a SafeFile (temporary file next to the
// target, renamed on success) with large buffered writes. The target is refused when it is one of
// the sources, also under another name or through a link; a failed or abandoned result leaves the
// old target as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/safe_file.h"
#include "waveform/block_file.h"

namespace ktx {

class Notifier;

class ResultWriter {
  public:
    ResultWriter(std::string target, Notifier& notifier);
    ~ResultWriter();  // an uncommitted result is discarded
    ResultWriter(const ResultWriter&) = delete;
    ResultWriter& operator=(const ResultWriter&) = delete;

    // Checks the target against `sources`, creates the temporary file and writes the header.
    // False after the message (7 for a target that is a source or no regular file, 41 else).
    bool Begin(const std::vector<std::string>& sources, const std::uint8_t* header,
               std::size_t size);
    void Write(const void* data, std::size_t size) { m_out->Write(data, size); }
    // Flushes and renames onto the target; message 41 on failure.
    bool Commit();
    // Abandons the result without a message (the user stopped the computation).
    void Discard();

  private:
    bool Report(const FileError& error);

    SafeFile m_file;
    Notifier& m_notifier;
    std::unique_ptr<BlockWriter> m_out;
};

}  // namespace ktx
