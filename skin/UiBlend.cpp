#include "skin/UiBlend.h"

#include "skin/UiBitmap.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VORRA_BLEND_X86 1
#endif

namespace vorra {

namespace {

void BlendScalar(std::uint32_t* out, const std::uint32_t* s, const std::uint32_t* d, int n) {
  for (int i = 0; i < n; ++i) out[i] = UiBlend(s[i], d[i]);
}

#ifdef VORRA_BLEND_X86

// Bytes as 16-bit lanes: alpha x byte + 128 stays below 65536, so the
// products and shifts of the formula fit a lane exactly.
#define VORRA_BLEND_BODY(V, P, LOAD, STORE, STEP)                                                     \
  const V mask = P##_set1_epi32(0x00FF00FF), c128 = P##_set1_epi16(128), c255 = P##_set1_epi16(255); \
  const V opaque = P##_set1_epi32(255), zero = P##_setzero_si##STEP();                               \
  int i = 0;                                                                                        \
  for (; i + (STEP / 32) <= n; i += STEP / 32) {                                                     \
    const V sp = LOAD(reinterpret_cast<const V*>(s + i)), dp = LOAD(reinterpret_cast<const V*>(d + i)); \
    const V a32 = P##_srli_epi32(sp, 24);                                                            \
    const V a = P##_or_si##STEP(a32, P##_slli_epi32(a32, 16));                                       \
    const V na = P##_sub_epi16(c255, a);                                                             \
    const V rb = P##_add_epi16(                                                                      \
        P##_srli_epi16(P##_add_epi16(P##_mullo_epi16(P##_and_si##STEP(sp, mask), a), c128), 8),       \
        P##_srli_epi16(P##_add_epi16(P##_mullo_epi16(P##_and_si##STEP(dp, mask), na), c128), 8));     \
    const V ag = P##_add_epi16(                                                                      \
        P##_srli_epi16(P##_add_epi16(P##_mullo_epi16(P##_srli_epi16(sp, 8), a), c128), 8),            \
        P##_srli_epi16(P##_add_epi16(P##_mullo_epi16(P##_srli_epi16(dp, 8), na), c128), 8));          \
    V r = P##_or_si##STEP(rb, P##_slli_epi16(ag, 8));                                                \
    const V full = P##_cmpeq_epi32(a32, opaque), none = P##_cmpeq_epi32(a32, zero);                  \
    r = P##_or_si##STEP(P##_and_si##STEP(full, sp), P##_andnot_si##STEP(full, r));                   \
    r = P##_or_si##STEP(P##_and_si##STEP(none, dp), P##_andnot_si##STEP(none, r));                   \
    STORE(reinterpret_cast<V*>(out + i), r);                                                         \
  }                                                                                                 \
  BlendScalar(out + i, s + i, d + i, n - i);

void BlendSse2(std::uint32_t* out, const std::uint32_t* s, const std::uint32_t* d, int n) {
  VORRA_BLEND_BODY(__m128i, _mm, _mm_loadu_si128, _mm_storeu_si128, 128)
}

// (x * a + 128) >> 8 is one rounding multiply-high of x and a << 7, and the
// byte shuffle puts each pixel's alpha in all its lanes.
__attribute__((target("avx2"))) void BlendAvx2(std::uint32_t* out, const std::uint32_t* s, const std::uint32_t* d,
                                               int n) {
  const __m256i mask = _mm256_set1_epi32(0x00FF00FF), c255 = _mm256_set1_epi16(255);
  const __m256i c255x128 = _mm256_set1_epi16(255 << 7), zero = _mm256_setzero_si256();
  const __m256i alphas = _mm256_setr_epi8(3, -1, 3, -1, 7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1,  //
                                          3, -1, 3, -1, 7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i sp = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    const __m256i dp = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
    const __m256i a = _mm256_shuffle_epi8(sp, alphas);
    const __m256i a7 = _mm256_slli_epi16(a, 7), na7 = _mm256_sub_epi16(c255x128, a7);
    const __m256i rb = _mm256_add_epi16(_mm256_mulhrs_epi16(_mm256_and_si256(sp, mask), a7),
                                        _mm256_mulhrs_epi16(_mm256_and_si256(dp, mask), na7));
    const __m256i ag = _mm256_add_epi16(_mm256_mulhrs_epi16(_mm256_srli_epi16(sp, 8), a7),
                                        _mm256_mulhrs_epi16(_mm256_srli_epi16(dp, 8), na7));
    __m256i r = _mm256_or_si256(rb, _mm256_slli_epi16(ag, 8));
    r = _mm256_blendv_epi8(r, sp, _mm256_cmpeq_epi16(a, c255));
    r = _mm256_blendv_epi8(r, dp, _mm256_cmpeq_epi16(a, zero));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), r);
  }
  BlendScalar(out + i, s + i, d + i, n - i);
}

#undef VORRA_BLEND_BODY

using TBlendRow = void (*)(std::uint32_t*, const std::uint32_t*, const std::uint32_t*, int);

TBlendRow Pick() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? BlendAvx2 : BlendSse2;
}

#endif

}  // namespace

void UiBlendRowBaseline(std::uint32_t* out, const std::uint32_t* s, const std::uint32_t* d, int n) {
#ifdef VORRA_BLEND_X86
  BlendSse2(out, s, d, n);
#else
  BlendScalar(out, s, d, n);
#endif
}

void UiBlendRow(std::uint32_t* out, const std::uint32_t* s, const std::uint32_t* d, int n) {
#ifdef VORRA_BLEND_X86
  static const TBlendRow row = Pick();
  row(out, s, d, n);
#else
  BlendScalar(out, s, d, n);
#endif
}

}  // namespace vorra
