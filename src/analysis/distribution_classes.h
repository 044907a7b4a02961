// SPDX-License-Identifier: GPL-3.0-or-later
// The class of a sample in the frequency distribution, found without a search. The classes are
// bounded by the edges e[1..255]: class 0 takes everything below e[1], class j (1..254) the
// values in [e[j], e[j + 1]), and a value not below e[255] counts nowhere; Of gives it the slot
// 255, which the distribution's class 255 (never counted) leaves empty.
//
// The edges are nearly equally spaced, so (y - e[0]) / w guesses the class to within one; two
// comparisons with the edges themselves then decide, and the result is exactly that of the
// search for the first edge above y. Whether the guess is never further off is proved once for
// the edges at hand (the guess grows with y, so the lowest and highest value of each class tell).
// Edges that fail the proof (a width near the rounding of an offset far larger than the range)
// are searched one by one. Immutable after construction; any thread may call.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ktx {

class DistributionClasses {
  public:
    static constexpr std::size_t kClasses = 256;

    // `largest`: no value classed by OfRounded is larger in magnitude (infinity: no limit, and
    // nothing below e[1] or above e[255] is sure).
    explicit DistributionClasses(const std::array<double, kClasses>& edges,
                                 double largest = std::numeric_limits<double>::infinity());

    // 0..254 for a counted class, 255 for a value not below e[255]; y finite.
    std::size_t Of(double y) const { return m_guessed ? OfGuessed(y) : Search(y); }
    // False when the edges have to be searched one by one.
    bool Guessed() const { return m_guessed; }
    // Of for edges that are Guessed(), for loops that have asked once.
    std::size_t OfGuessed(double y) const {
        const std::size_t g = Guess(y);
        return g - static_cast<std::size_t>(y < m_bounds[g]) +
               static_cast<std::size_t>(y >= m_bounds[g + 1]);
    }
#if defined(__SSE2__)
    // OfGuessed of both halves of `y`, in `first` and `second`.
    void OfGuessed2(__m128d y, std::size_t& first, std::size_t& second) const {
        __m128d g = _mm_mul_pd(_mm_sub_pd(y, _mm_set1_pd(m_origin)), _mm_set1_pd(m_inverseWidth));
        g = _mm_min_pd(_mm_max_pd(g, _mm_setzero_pd()), _mm_set1_pd(255.0));
        const __m128i guess = _mm_cvttpd_epi32(g);  // two ints in the lower half
        const auto g0 = static_cast<std::size_t>(_mm_cvtsi128_si32(guess));
        const auto g1 = static_cast<std::size_t>(_mm_extract_epi16(guess, 2));  // below 256
        const __m128d lower = _mm_loadh_pd(_mm_load_sd(&m_bounds[g0]), &m_bounds[g1]);
        const __m128d upper = _mm_loadh_pd(_mm_load_sd(&m_bounds[g0 + 1]), &m_bounds[g1 + 1]);
        // All ones (-1) where y < lower, where y >= upper: the class is g + below - above.
        const __m128i below = _mm_castpd_si128(_mm_cmplt_pd(y, lower));
        const __m128i above = _mm_castpd_si128(_mm_cmpge_pd(y, upper));
        const __m128i step = _mm_sub_epi32(below, above);  // -1, 0 or 1 in each lane's low half
        first = g0 + static_cast<std::size_t>(static_cast<std::ptrdiff_t>(_mm_cvtsi128_si32(step)));
        second = g1 + static_cast<std::size_t>(static_cast<std::ptrdiff_t>(
                          _mm_cvtsi128_si32(_mm_shuffle_epi32(step, _MM_SHUFFLE(3, 2, 3, 2)))));
    }
#endif
    // The first j in 0..254 with y < e[j + 1], 255 when there is none.
    std::size_t Search(double y) const;

    // The class of a value known only as the single `f` it was rounded to: Of(f) where no
    // edge lies within the rounding's reach, kUnsure where one does and the value itself has
    // to decide. f finite, not beyond the largest magnitude given to the constructor (rounded
    // to a single).
    static constexpr std::size_t kUnsure = kClasses;
    std::size_t OfRounded(double f) const {
        const std::size_t c = Of(f);
        return m_sure[2 * c] <= f && f < m_sure[2 * c + 1] ? c : kUnsure;
    }
#if defined(__SSE2__)
    // OfRounded of both halves of `f`; kUnsure is the only result with bit 8 set. The guess
    // alone decides where it lands inside the sure part of its slot, which all but the values
    // near an edge do (for edges that are not Guessed(), OfRounded decides the others).
    void OfRounded2(__m128d f, std::size_t& first, std::size_t& second) const {
        __m128d g = _mm_mul_pd(_mm_sub_pd(f, _mm_set1_pd(m_origin)), _mm_set1_pd(m_inverseWidth));
        g = _mm_min_pd(_mm_max_pd(g, _mm_setzero_pd()), _mm_set1_pd(255.0));
        const __m128i guess = _mm_cvttpd_epi32(g);
        first = static_cast<std::size_t>(_mm_cvtsi128_si32(guess));
        second = static_cast<std::size_t>(_mm_extract_epi16(guess, 2));
        const __m128d a = _mm_load_pd(&m_sure[2 * first]);
        const __m128d b = _mm_load_pd(&m_sure[2 * second]);
        const __m128d inside = _mm_and_pd(_mm_cmple_pd(_mm_unpacklo_pd(a, b), f),
                                          _mm_cmplt_pd(f, _mm_unpackhi_pd(a, b)));
        const int sure = _mm_movemask_pd(inside);
        if (sure != 3) [[unlikely]] {
            if ((sure & 1) == 0) {
                first = OfRounded(_mm_cvtsd_f64(f));
            }
            if ((sure & 2) == 0) {
                second = OfRounded(_mm_cvtsd_f64(_mm_unpackhi_pd(f, f)));
            }
        }
    }
#endif

  private:
    // Limited to 0..255 before the conversion, where truncation is floor. Never NaN: the
    // width's reciprocal is positive and finite, y and e[0] finite. The compilers turn the
    // limits into branches, which the values near 0 and 255 mispredict: on x86 they are
    // maxsd and minsd, said so.
    std::size_t Guess(double y) const {
#if defined(__SSE2__)
        __m128d g = _mm_set_sd((y - m_origin) * m_inverseWidth);
        g = _mm_min_sd(_mm_max_sd(g, _mm_setzero_pd()), _mm_set_sd(255.0));
        return static_cast<std::size_t>(_mm_cvttsd_si32(g));
#else
        return static_cast<std::size_t>(
            static_cast<int>(std::min(std::max((y - m_origin) * m_inverseWidth, 0.0), 255.0)));
#endif
    }

    // m_bounds[0] = -infinity, m_bounds[j] = e[j] for j = 1..255, m_bounds[256] = +infinity:
    // the slot of y is the j with m_bounds[j] <= y < m_bounds[j + 1].
    std::array<double, kClasses + 1> m_bounds{};
    // The part of slot j whose singles stand for values in the slot whatever their rounding:
    // [m_sure[2j], m_sure[2j + 1]), empty where the slot is narrower than the rounding.
    alignas(16) std::array<double, 2 * kClasses> m_sure{};
    double m_origin = 0.0;
    double m_inverseWidth = 0.0;
    bool m_guessed = false;
};

}  // namespace ktx
