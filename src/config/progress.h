// SPDX-License-Identifier: GPL-3.0-or-later
// Progress of long operations. Two displays exist in the status line: a bar with a known
// maximum (window message 1031) and a counter of completed blocks (window message 1032).
// Called on the thread doing the work; the shell forwards to the status line.
#pragma once

#include <cstdint>
#include <string>

namespace ktx {

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;

    // 1031: bar with `maximum` steps; `remaining` counts down to 0.
    virtual void BarStart(std::int64_t maximum) { (void)maximum; }
    virtual void BarStep(std::int64_t remaining) { (void)remaining; }
    virtual void BarEnd() {}

    // 1032: counter label; `blocks` is the number of completed blocks (kByte or 1024 points).
    virtual void CounterStart() {}
    virtual void CounterUpdate(std::int64_t blocks) { (void)blocks; }
    virtual void CounterEnd() {}

    // A passing line for the status text ("Kurve 1 von 5").
    virtual void Note(const std::string& text) { (void)text; }
};

// Ignores all progress.
ProgressSink& NoProgress();

}  // namespace ktx
