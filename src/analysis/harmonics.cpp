// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/harmonics.h"

#include <fftw3.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <numbers>

namespace ktx {

namespace {

// Samples between two exact re-seedings of the streaming phasors: the recurrence's rounding grows
// by about one unit in the last place per step, so it stays below 1e-13 of the amplitude.
constexpr std::int64_t kReseedInterval = 512;

struct FftwFree {
    void operator()(double* p) const { fftw_free(p); }
};

class FftwAccumulator final : public HarmonicAccumulator {
  public:
    FftwAccumulator(std::int64_t n, int harmonics, FftWindow window)
        : m_n(n), m_harmonics(harmonics), m_window(window) {
        // In place: N samples, then room for the N/2 + 1 complex outputs.
        const auto size = static_cast<std::size_t>(2 * (n / 2 + 1));
        m_data.reset(static_cast<double*>(fftw_malloc(size * sizeof(double))));
        if (m_data) {
            std::fill(m_data.get(), m_data.get() + size, 0.0);
        }
    }

    bool Ok() const { return m_data != nullptr; }

    void Add(const double* samples, std::size_t count) override {
        const std::int64_t end =
            std::min<std::int64_t>(m_n, m_pos + static_cast<std::int64_t>(count));
        double* out = m_data.get();
        if (m_window == FftWindow::Rectangular) {
            std::copy(samples, samples + (end - m_pos), out + m_pos);
        } else {
            for (std::int64_t i = m_pos; i < end; ++i) {
                out[i] = samples[i - m_pos] * WindowWeight(m_window, i, m_n);
            }
        }
        m_pos = end;
    }

    HarmonicSums Finish() override {
        HarmonicSums sums;
        sums.c.assign(static_cast<std::size_t>(m_harmonics) + 1, 0.0);
        sums.s.assign(static_cast<std::size_t>(m_harmonics) + 1, 0.0);
        double* data = m_data.get();
        auto* out = reinterpret_cast<fftw_complex*>(data);
        const fftw_plan plan =
            fftw_plan_dft_r2c_1d(static_cast<int>(m_n), data, out, FFTW_ESTIMATE);
        fftw_execute(plan);
        fftw_destroy_plan(plan);
        sums.mean = out[0][0];
        for (int k = 1; k <= m_harmonics; ++k) {
            // The sums are periodic in k with period N, and bins above N/2 mirror those below
            // (a real signal): harmonic counts above N/2 occur for N < 20.
            const std::int64_t m = k % m_n;
            double re;
            double im;
            if (m <= m_n / 2) {
                re = out[m][0];
                im = out[m][1];
            } else {
                re = out[m_n - m][0];
                im = -out[m_n - m][1];
            }
            sums.c[static_cast<std::size_t>(k)] = re;
            sums.s[static_cast<std::size_t>(k)] = -im;  // FFTW's forward sign is exp(-i...)
        }
        return sums;
    }

    bool Streaming() const override { return false; }

  private:
    std::int64_t m_n;
    int m_harmonics;
    FftWindow m_window;
    std::unique_ptr<double, FftwFree> m_data;
    std::int64_t m_pos = 0;
};

class StreamingAccumulator final : public HarmonicAccumulator {
  public:
    StreamingAccumulator(std::int64_t n, int harmonics, FftWindow window)
        : m_n(n),
          m_k(static_cast<std::size_t>(harmonics)),
          m_window(window),
          m_zr(m_k),
          m_zi(m_k),
          m_wr(m_k),
          m_wi(m_k),
          m_c(m_k),
          m_s(m_k) {
        for (std::size_t j = 0; j < m_k; ++j) {
            const double angle = Angle(static_cast<std::int64_t>(j + 1));
            m_wr[j] = std::cos(angle);
            m_wi[j] = std::sin(angle);
        }
    }

    void Add(const double* samples, std::size_t count) override {
        const std::size_t k = m_k;
        double* zr = m_zr.data();
        double* zi = m_zi.data();
        const double* wr = m_wr.data();
        const double* wi = m_wi.data();
        double* c = m_c.data();
        double* s = m_s.data();
        for (std::size_t t = 0; t < count && m_pos < m_n; ++t, ++m_pos) {
            if (m_pos % kReseedInterval == 0) {
                Reseed();
            }
            const double v = m_window == FftWindow::Rectangular
                                 ? samples[t]
                                 : samples[t] * WindowWeight(m_window, m_pos, m_n);
            m_mean += v;
            for (std::size_t j = 0; j < k; ++j) {
                const double r = zr[j];
                const double i = zi[j];
                c[j] += v * r;
                s[j] += v * i;
                zr[j] = r * wr[j] - i * wi[j];
                zi[j] = r * wi[j] + i * wr[j];
            }
        }
    }

    HarmonicSums Finish() override {
        HarmonicSums sums;
        sums.mean = m_mean;
        sums.c.assign(m_k + 1, 0.0);
        sums.s.assign(m_k + 1, 0.0);
        std::copy(m_c.begin(), m_c.end(), sums.c.begin() + 1);
        std::copy(m_s.begin(), m_s.end(), sums.s.begin() + 1);
        return sums;
    }

    bool Streaming() const override { return true; }

  private:
    // 2 pi m / N for the integer phase m = k i mod N, exact up to one rounding.
    double Angle(std::int64_t m) const {
        return 2.0 * std::numbers::pi * static_cast<double>(m % m_n) / static_cast<double>(m_n);
    }

    void Reseed() {
        for (std::size_t j = 0; j < m_k; ++j) {
            // (k * i) mod N without overflow: k <= 1000 and i < N < 2^53.
            const auto k = static_cast<std::int64_t>(j + 1);
            const double angle = Angle((k % m_n) * (m_pos % m_n) % m_n);
            m_zr[j] = std::cos(angle);
            m_zi[j] = std::sin(angle);
        }
    }

    std::int64_t m_n;
    std::size_t m_k;
    FftWindow m_window;
    std::vector<double> m_zr, m_zi, m_wr, m_wi, m_c, m_s;
    double m_mean = 0.0;
    std::int64_t m_pos = 0;
};

}  // namespace

double WindowWeight(FftWindow window, std::int64_t i, std::int64_t n) {
    const double di = static_cast<double>(i);
    const double dn = static_cast<double>(n);
    switch (window) {
        case FftWindow::Rectangular:
            break;
        case FftWindow::Hanning:
            return (4.0 / 3.0) * (1.0 / (12.0 * di * di / (dn * dn) - 12.0 * di / dn + 4.0) - 0.25);
        case FftWindow::Hamming:
            return 1.0 / (36.0 * di * di / (dn * dn) - 36.0 * di / dn + 10.0);
        case FftWindow::BlackmanHarris:
            return (1.0 / dn) * std::exp(4.0 * std::log(dn) * (di / dn - di * di / (dn * dn)));
    }
    return 1.0;
}

std::uint64_t FftwBytesFor(std::int64_t n) {
    // The in-place array (N + 2 doubles) and as much again twice over for the scratch buffers
    // FFTW's algorithms for sizes with large prime factors allocate.
    return 24ull * static_cast<std::uint64_t>(std::max<std::int64_t>(n, 0)) + 16;
}

std::unique_ptr<HarmonicAccumulator> MakeFftwAccumulator(std::int64_t n, int harmonics,
                                                         FftWindow window) {
    if (n < 1 || n > INT_MAX) {
        return nullptr;
    }
    auto acc = std::make_unique<FftwAccumulator>(n, harmonics, window);
    if (!acc->Ok()) {
        return nullptr;
    }
    return acc;
}

std::unique_ptr<HarmonicAccumulator> MakeStreamingAccumulator(std::int64_t n, int harmonics,
                                                              FftWindow window) {
    if (n < 1) {
        return nullptr;
    }
    return std::make_unique<StreamingAccumulator>(n, harmonics, window);
}

std::unique_ptr<HarmonicAccumulator> MakeHarmonicAccumulator(std::int64_t n, int harmonics,
                                                             FftWindow window,
                                                             std::uint64_t memoryBudget) {
    if (FftwBytesFor(n) <= memoryBudget) {
        if (auto acc = MakeFftwAccumulator(n, harmonics, window)) {
            return acc;
        }
        // Not even the memory the budget allowed could be had: stream instead.
    }
    return MakeStreamingAccumulator(n, harmonics, window);
}

}  // namespace ktx
