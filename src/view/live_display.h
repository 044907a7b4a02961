// SPDX-License-Identifier: GPL-3.0-or-later
// The live display without its window: the source choice checked, the set-up commands, one
// frame fetched (each source's 8-bit curve with its scaling) and turned into the polyline the
// window draws on its 10 x 10 division grid.
//
// UI-free and single-threaded: the window calls it from its event loop, one frame per call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ktx {

class CommandTransport;
class Notifier;

// What the source dialog hands over when "OK" is accepted.
struct LiveSelection {
    std::vector<std::string> sources;  // in list order, at most kLiveMaxSelected
    std::string startText;             // as typed: sent in "DATA:START"
    std::string stopText;              // as typed: sent in "DATA:STOP"
    int points = 0;                    // N = stop - start, always > 0
};

constexpr int kLiveMaxSelected = 10;
constexpr int kLiveMaxShown = 4;

// The dialog's "OK": message 14 for no selection or more than ten, 43 for a start that is no
// number, 44 for a stop that is no number or not above the start (nothing to draw), 15 when
// the stop passes the memory size (then `stopReset` receives the size as text). Empty when a
// message was shown: the dialog stays open.
std::optional<LiveSelection> CheckLiveSelection(const std::vector<std::string>& selected,
                                                const std::string& startText,
                                                const std::string& stopText,
                                                const std::string& memorySize, Notifier& notifier,
                                                std::string* stopReset);

// Colours as 0xRRGGBB: yellow, aqua, fuchsia, lime for the four channels (the views' source
// colours), then the references, then red for the math source.
extern const std::array<std::uint32_t, 9> kLiveColours;
constexpr std::uint32_t kLiveBlack = 0x000000;
constexpr std::uint32_t kLiveGrid = 0x808080;

// The colour entry of a source name ("CH1" ... "CH4", "REF1" ... "REF4", "MATH"), whatever its
// letter case; -1 for a name of no entry.
int LiveColourIndex(const std::string& name);

// Where the samples lie in what LinkReadData stored: a buffer that starts with a well-formed
// definite-length header "#<d><L>" (d a digit 1 ... 9, then d decimal digits) whose L bytes
// fit into `stored` after it gives its own length; anything else is samples from the first
// byte on, as many as were stored.
struct LiveBlock {
    std::size_t offset = 0;
    std::size_t count = 0;
    bool header = false;
};
LiveBlock ParseLiveBlock(const std::uint8_t* data, std::size_t stored);

struct LivePoint {
    int x = 0;
    int y = 0;
    bool operator==(const LivePoint&) const = default;
};

// The curve of `count` signed 8-bit samples on a drawing area of width x height pixels:
// G = count div width + 1 samples are averaged per column, C = count div G columns are drawn,
// x = nearest(width / C * c), y = height - nearest((mean + 127) * height / 256), halves to
// even. Empty when there is nothing to draw or no room to draw it in.
std::vector<LivePoint> ScaleLiveCurve(const std::uint8_t* samples, std::size_t count, int width,
                                      int height);

// The division grid on a drawing area: whole divisions, the area 10 of them plus one pixel.
struct LiveGrid {
    int divisionWidth = 0;
    int divisionHeight = 0;
    int Width() const { return 10 * divisionWidth + 1; }
    int Height() const { return 10 * divisionHeight + 1; }
};
LiveGrid MakeLiveGrid(int width, int height);

// One shown source: its name and colour, the scaling of the latest frame and its samples.
struct LiveSource {
    std::string name;
    std::uint32_t colour = kLiveBlack;
    double voltsPerDivision = 0;
    std::string unit;
    std::vector<std::uint8_t> buffer;  // what LinkReadData stored, zeros after it
    LiveBlock block;                   // where this frame's samples lie in the buffer

    // name + " " + volts per division with prefix and unit + "/div".
    std::string Label() const;
};

class LiveDisplay {
  public:
    // The transport and the notifier are borrowed and must outlive this object.
    LiveDisplay(CommandTransport& transport, Notifier& notifier);

    // Start's set-up: the data format and range commands, then "WFMPRE?"; the first four
    // sources with their colours (a name of no entry keeps its slot's colour from the last run,
    // black at first). False when a command failed: nothing is fetched then, and message 34
    // says why the window stays idle.
    bool Setup(const LiveSelection& selection);
    // One frame: every source's scaling and curve. False when the last source's steps failed
    // (the run ends after drawing this frame, with message 34: without it a run that ends
    // because the instrument stopped answering looks like one the user stopped). Buffers
    // freed by a closing window end the run without a message.
    bool Fetch();
    // The window closed: the buffers go.
    void FreeBuffers();

    const std::vector<LiveSource>& Sources() const { return m_sources; }
    int Points() const { return m_points; }
    double SecondsPerDivision() const { return m_secondsPerDivision; }
    // Time per division with prefix + "/div".
    std::string TimeLabel() const;
    // The polyline of source i on a drawing area of that size.
    std::vector<LivePoint> Curve(std::size_t i, int width, int height) const;
    bool BuffersHeld() const;

  private:
    bool FetchSource(LiveSource& source, bool first);
    std::optional<double> QueryNumber(const std::string& command);

    CommandTransport& m_transport;
    Notifier& m_notifier;
    std::vector<LiveSource> m_sources;
    std::array<std::uint32_t, kLiveMaxShown> m_slotColours{};
    int m_points = 0;
    double m_secondsPerDivision = 0;
};

}  // namespace ktx
