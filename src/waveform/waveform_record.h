// SPDX-License-Identifier: GPL-3.0-or-later
// What a view loads from a waveform file: the x values and one column of y values, with the
// units, the y range and the display time scale.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "waveform/real6.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace ktx {

class Notifier;

// Storage for the point arrays of a waveform record.
//  - Elements of a resized vector stay uninitialised: the loader overwrites every one of them,
//    and zeroing 10 M points first would cost as much as reading them. Only for trivially
//    copyable aggregates, whose objects come into being with their storage.
//  - Large arrays are asked to live on huge pages: a 10 M-point record otherwise spends a
//    quarter of its load time in page faults.
void* AllocatePointStorage(std::size_t bytes);
void FreePointStorage(void* p, std::size_t bytes) noexcept;

template <typename T>
struct UninitializedAllocator {
    static_assert(std::is_trivially_copyable_v<T>);
    using value_type = T;

    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) { return static_cast<T*>(AllocatePointStorage(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { FreePointStorage(p, n * sizeof(T)); }

    template <typename U>
    void construct(U*) noexcept {}
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <typename U>
    bool operator==(const UninitializedAllocator<U>&) const noexcept {
        return true;
    }
};

using TimeFieldArray = std::vector<TimeField, UninitializedAllocator<TimeField>>;
using Real6Array = std::vector<Real6, UninitializedAllocator<Real6>>;

struct WaveformRecord {
    std::string fileName;  // the file actually read
    std::filesystem::file_time_type fileDate;
    std::int32_t pointCount = 0;
    TimeFieldArray xValues;
    Real6Array yValues;
    UnitStrings units;  // slots 1..3 are "#" for a one-column file
    WaveLayout layout = WaveLayout::OneColumn;
    float version = 0.0f;
    std::int32_t column = 0;  // 0..3, the column shown
    Real6 yMax;               // both start at 0, so the range always contains 0
    Real6 yMin;
    double timeScale = 1.0;   // seconds to the displayed unit: 1, 1E3, 1E6 or 1E9
    bool sampleAxis = false;  // x axis in point numbers ("Px")
};

// Asked when a four-column file has more than one present column; returns the column 0..3, or
// nothing when the user cancelled (the load then fails without a message).
using ColumnChooser = std::function<std::optional<int>(const UnitStrings& units)>;

// Loads `path` (the user's own file, the conversion file or the compression file). A file that
// is not a one- or four-column waveform file shows message 12 and gives nothing (message 22 or 7
// for one that is missing or no regular file); a file with more points than a record can hold
// shows message 11.
std::optional<WaveformRecord> LoadWaveform(const std::string& path, bool sampleAxis,
                                           const ColumnChooser& chooseColumn, Notifier& notifier);

// The display time scale for a time axis from the first and last x values.
double TimeScaleFor(const TimeField& first, const TimeField& last);

}  // namespace ktx
