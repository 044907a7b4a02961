// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/wave_points.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "test_files.h"
#include "waveform/real6.h"
#include "waveform/time_field.h"

namespace ktx::test {

WaveContents ReadWaveContents(const std::string& path) {
    WaveContents c;
    const Bytes f = ReadFile(path);
    if (f.size() < kOneColumnRecord) {
        return c;
    }
    std::size_t record = 0;
    if (f[0] == 0x21 && f[1] == 0x16) {
        c.layout = WaveLayout::OneColumn;
        record = kOneColumnRecord;
    } else if (f[0] == 0x42 && f[1] == 0x2C) {
        c.layout = WaveLayout::FourColumn;
        record = kFourColumnRecord;
    } else {
        return c;
    }
    c.valid = true;
    c.version = HeaderVersion(f.data());
    for (std::size_t k = 6; k < 11 && f[k] != 0; ++k) {
        c.unit0.push_back(static_cast<char>(f[k]));
    }
    for (std::size_t at = record; at + record <= f.size(); at += record) {
        TimeField x;
        std::copy_n(f.begin() + static_cast<long>(at), 6, x.bytes.begin());
        c.points.push_back({TimeFieldToSeconds(x), Real6::Decode(f.data() + at + 6)});
    }
    return c;
}

namespace {

// Half a unit of the last printed digit of a number like "-1.996000000e+000" or "0.00018".
double HalfUnit(const std::string& text) {
    const std::size_t e = text.find_first_of("eE");
    const std::string mantissa = text.substr(0, e);
    const std::size_t dot = mantissa.find('.');
    const int decimals = dot == std::string::npos ? 0 : static_cast<int>(mantissa.size() - dot - 1);
    const int exponent = e == std::string::npos ? 0 : std::atoi(text.c_str() + e + 1);
    return 0.5 * std::pow(10.0, exponent - decimals);
}

bool Number(const std::string& text, double& v) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    v = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

}  // namespace

std::vector<CsvSample> ReadInstrumentCsv(const std::string& path) {
    std::vector<CsvSample> samples;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<std::string> fields;
        std::stringstream ss(line);
        for (std::string f; std::getline(ss, f, ',');) {
            fields.push_back(f);
        }
        std::size_t ix = 0;
        if (!line.empty() && line.back() == ',' && fields.size() >= 5) {
            ix = 3;
        }
        double x = 0;
        double y = 0;
        if (fields.size() >= ix + 2 && Number(fields[ix], x) && Number(fields[ix + 1], y)) {
            samples.push_back({x, y, HalfUnit(fields[ix]), HalfUnit(fields[ix + 1])});
        }
    }
    return samples;
}

}  // namespace ktx::test
