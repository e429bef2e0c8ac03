#pragma once
// Finding where a line ends, and what the indentation engine may skip in it,
// many bytes at a time.
//
// Both questions come down to comparing every byte of a line with a few
// values: CR and LF end it; a quote, an apostrophe or a byte of a non-ASCII
// character ends its plain start, and colons cut it into statements
// (LineFacts). ScanLinePortable compares eight bytes at once inside a 64-bit
// word; on x86-64, where SSE2 is always there, ScanLineSse2 compares sixteen
// with vector instructions, and ScanLineAvx2 thirty-two on the processors
// that have AVX2. ScanLine takes the SSE2 one where there is SSE2; the
// pipeline takes the AVX2 one where it can run. All give the same result for
// every text.
//
// With kNulEnds (the default) a NUL byte ends a line too, in the same
// compare as CR and LF: the pipeline refuses a text that holds one, and so
// finds it in the pass that formats the text instead of a pass of its own.
//
// They also trim the line: its bytes without the blanks at either end
// (spaces; tabs as well when `tabs`), as IndentEngine::TrimLine trims it.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "formatter/indent_engine.hpp"
#include "text/byte_scan.hpp"
#include "text/text.hpp"

namespace halvex {

struct LineScan {
    std::size_t end = 0;      // the first CR or LF (or NUL) at or after the start, or the text's size
    std::size_t special = 0;  // the first quote, apostrophe or non-ASCII byte before `end`, or `end`
    bool colon = false;       // whether a colon comes before `end`
    // The line without its blanks: from `trimBegin` to `trimEnd`; both are
    // `end` for a line of blanks only.
    std::size_t trimBegin = 0;
    std::size_t trimEnd = 0;

    // The facts of the part of the line from `begin` to `end`.
    LineFacts FactsFrom(std::size_t begin) const { return {special - begin, colon}; }
};

namespace line_scan_detail {

// Sets the trimmed bounds of a scanned line that starts at `from`.
inline LineScan Trimmed(std::string_view text, std::size_t from, bool tabs, LineScan scan) {
    const std::string_view line = text.substr(from, scan.end - from);
    const std::string_view trimmed = tabs ? TrimSpacesAndTabs(line) : TrimSpaces(line);
    scan.trimBegin = static_cast<std::size_t>(trimmed.data() - text.data());
    scan.trimEnd = scan.trimBegin + trimmed.size();
    return scan;
}

// The rest of a scan, byte by byte, for the last few bytes of a text.
template <bool kNulEnds>
LineScan FinishScan(std::string_view text, std::size_t at, LineScan scan) {
    for (; at < text.size() && text[at] != '\r' && text[at] != '\n' && !(kNulEnds && text[at] == '\0'); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (scan.special == SIZE_MAX && (c == '"' || c == '\'' || c >= 0x80)) scan.special = at;
        scan.colon = scan.colon || c == ':';
    }
    scan.end = at;
    if (scan.special == SIZE_MAX) scan.special = at;
    return scan;
}

}  // namespace line_scan_detail

// The line that starts at `from`, eight bytes at a time. In the masks of
// BytesEqual only the lowest set byte is exact; bytes above it may be set
// wrongly, but only above a true one of the same value. That is enough: the
// line ends at the lowest CR or LF, the first special byte is the lowest of
// the lowest of each value, and a colon counts only below the line's end.
template <bool kNulEnds = true>
LineScan ScanLinePortable(std::string_view text, std::size_t from, bool tabs = false) {
    static_assert(std::endian::native == std::endian::little);
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    LineScan scan{0, SIZE_MAX, false};
    std::size_t at = from;
    for (; text.size() - at >= 8; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, 8);
        const std::uint64_t breaks =
            BytesEqual(word, '\r') | BytesEqual(word, '\n') | (kNulEnds ? BytesEqual(word, '\0') : 0);
        const std::uint64_t colons = BytesEqual(word, ':');
        std::uint64_t specials = BytesEqual(word, '"') | BytesEqual(word, '\'') | (word & kHighs);
        const std::uint64_t below = breaks != 0 ? (std::uint64_t{1} << std::countr_zero(breaks)) - 1 : ~std::uint64_t{0};
        specials &= below;
        if (specials != 0 && scan.special == SIZE_MAX) scan.special = at + std::countr_zero(specials) / 8;
        scan.colon = scan.colon || (colons & below) != 0;
        if (breaks != 0) {
            scan.end = at + static_cast<std::size_t>(std::countr_zero(breaks)) / 8;
            if (scan.special == SIZE_MAX) scan.special = scan.end;
            return line_scan_detail::Trimmed(text, from, tabs, scan);
        }
    }
    return line_scan_detail::Trimmed(text, from, tabs, line_scan_detail::FinishScan<kNulEnds>(text, at, scan));
}

#if defined(__SSE2__)
namespace line_scan_detail {

// The masks of one 16-byte block: line breaks, colons, the bytes that end a
// line's plain start, and blanks (`tab` holds sixteen tabs when tabs are
// blanks, else sixteen spaces).
struct BlockMasks {
    unsigned breaks;
    unsigned colons;
    unsigned specials;
    unsigned blanks;
};

template <bool kNulEnds>
BlockMasks MasksOf(const char* at, __m128i tab) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const auto is = [&bytes](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
    const __m128i breaks = _mm_or_si128(is('\r'), is('\n'));
    // A byte of 0x80 or more has its top bit set already.
    return {static_cast<unsigned>(_mm_movemask_epi8(kNulEnds ? _mm_or_si128(breaks, is('\0')) : breaks)),
            static_cast<unsigned>(_mm_movemask_epi8(is(':'))),
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(is('"'), is('\'')), bytes))),
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(is(' '), _mm_cmpeq_epi8(bytes, tab))))};
}

}  // namespace line_scan_detail

// The bytes of `text` from `begin` to `end` without the blanks at either end
// (spaces; tabs as well when `tabs`), sixteen bytes at a time: a mask of the
// blanks counts them at each end without a loop that depends on how many
// there are. Reads only inside `text`, which may go on beyond `end`.
inline std::string_view TrimBlanksSse2(std::string_view text, std::size_t begin, std::size_t end, bool tabs) {
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8(tabs ? '\t' : ' ');
    const auto nonBlanks = [&](std::size_t at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        return ~static_cast<unsigned>(_mm_movemask_epi8(
                   _mm_or_si128(_mm_cmpeq_epi8(bytes, space), _mm_cmpeq_epi8(bytes, tab)))) & 0xFFFFu;
    };
    const auto isBlank = [&](std::size_t at) { return text[at] == ' ' || (tabs && text[at] == '\t'); };
    while (begin < end) {
        if (text.size() - begin < 16) {
            while (begin < end && isBlank(begin)) ++begin;
            break;
        }
        const std::size_t length = end - begin;
        const unsigned found = nonBlanks(begin) & (length >= 16 ? 0xFFFFu : (1u << length) - 1);
        if (found != 0) {
            begin += static_cast<std::size_t>(std::countr_zero(found));
            break;
        }
        begin += std::min<std::size_t>(length, 16);
    }
    while (end > begin) {
        if (end < 16) {
            while (end > begin && isBlank(end - 1)) --end;
            break;
        }
        const std::size_t length = end - begin;
        const unsigned found = nonBlanks(end - 16) & (length >= 16 ? 0xFFFFu : ~((1u << (16 - length)) - 1));
        if (found != 0) {
            end = end - 16 + static_cast<std::size_t>(32 - std::countl_zero(found));
            break;
        }
        end -= std::min<std::size_t>(length, 16);
    }
    return text.substr(begin, end - begin);
}

namespace line_scan_detail {

// Takes the masks of the block at `at` (one bit per byte from `at`) into the
// scan; whether the line ends in the block.
inline bool Take(LineScan& scan, std::size_t at, std::uint64_t breaks, std::uint64_t colons, std::uint64_t specials) {
    const std::uint64_t below = (breaks & (~breaks + 1)) - 1;  // the bits before the first break; all when none
    if ((specials & below) != 0 && scan.special == SIZE_MAX) scan.special = at + std::countr_zero(specials);
    scan.colon = scan.colon || (colons & below) != 0;
    if (breaks == 0) return false;
    scan.end = at + static_cast<std::size_t>(std::countr_zero(breaks));
    if (scan.special == SIZE_MAX) scan.special = scan.end;
    return true;
}

// A line that starts and ends in the block at `at`, trimmed from the mask of
// its blanks, without a loop.
inline LineScan TrimmedByMasks(LineScan scan, std::size_t at, std::uint64_t breaks, std::uint64_t blanks) {
    const std::uint64_t solid = ~blanks & ((breaks & (~breaks + 1)) - 1);
    scan.trimBegin = solid == 0 ? scan.end : at + static_cast<std::size_t>(std::countr_zero(solid));
    scan.trimEnd = solid == 0 ? scan.end : at + 64 - static_cast<std::size_t>(std::countl_zero(solid));
    return scan;
}

inline LineScan TrimmedBySse2(std::string_view text, std::size_t from, bool tabs, LineScan scan) {
    const std::string_view line = TrimBlanksSse2(text, from, scan.end, tabs);
    scan.trimBegin = static_cast<std::size_t>(line.data() - text.data());
    scan.trimEnd = scan.trimBegin + line.size();
    return scan;
}

// The end of a scan from `at` on, where fewer than 32 bytes are left: 16
// bytes at a time, then byte by byte.
template <bool kNulEnds>
LineScan FinishScanSse2(std::string_view text, std::size_t from, std::size_t at, bool tabs, LineScan scan) {
    const __m128i tab = _mm_set1_epi8(tabs ? '\t' : ' ');
    for (; text.size() - at >= 16; at += 16) {
        const BlockMasks block = MasksOf<kNulEnds>(text.data() + at, tab);
        if (Take(scan, at, block.breaks, block.colons, block.specials)) return TrimmedBySse2(text, from, tabs, scan);
    }
    return TrimmedBySse2(text, from, tabs, FinishScan<kNulEnds>(text, at, scan));
}

// The masks of the 32 bytes at `at`, from two 16-byte blocks.
struct Sse2Blocks {
    template <bool kNulEnds>
    static BlockMasks Of(const char* at, char tab) {
        const __m128i tabs = _mm_set1_epi8(tab);
        const BlockMasks low = MasksOf<kNulEnds>(at, tabs), high = MasksOf<kNulEnds>(at + 16, tabs);
        return {low.breaks | high.breaks << 16, low.colons | high.colons << 16, low.specials | high.specials << 16,
                low.blanks | high.blanks << 16};
    }
};

// A scan 32 bytes at a time, with the masks that `Blocks::Of` gives (see
// ScanLineSse2).
template <bool kNulEnds, class Blocks>
[[gnu::always_inline]] inline LineScan ScanBy(std::string_view text, std::size_t from, bool tabs) {
    LineScan scan{0, SIZE_MAX, false};
    const char tab = tabs ? '\t' : ' ';
    std::size_t at = from;
    if (text.size() - at >= 32) {
        const BlockMasks block = Blocks::template Of<kNulEnds>(text.data() + at, tab);
        if (Take(scan, at, block.breaks, block.colons, block.specials)) {
            return TrimmedByMasks(scan, at, block.breaks, block.blanks);
        }
        at += 32;
    }
    for (; text.size() - at >= 32; at += 32) {
        const BlockMasks block = Blocks::template Of<kNulEnds>(text.data() + at, tab);
        if (Take(scan, at, block.breaks, block.colons, block.specials)) return TrimmedBySse2(text, from, tabs, scan);
    }
    return FinishScanSse2<kNulEnds>(text, from, at, tabs, scan);
}

}  // namespace line_scan_detail

// The line that starts at `from`, as ScanLinePortable finds it, 32 bytes at a
// time (most lines end in their first 32 bytes, so the loop is seldom taken
// twice and its exit is well predicted), then 16; one bit per byte, all
// exact. A line that ends in its first 32 bytes is trimmed from the masks of
// its blanks, without a loop; a longer one by TrimBlanksSse2. Called once a
// line, it is worth inlining into the pipeline's loop, which the compiler
// does not do by itself.
template <bool kNulEnds = true>
[[gnu::always_inline]] inline LineScan ScanLineSse2(std::string_view text, std::size_t from, bool tabs = false) {
    return line_scan_detail::ScanBy<kNulEnds, line_scan_detail::Sse2Blocks>(text, from, tabs);
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// The same with AVX2, 32 bytes in one compare, for the processors that have
// it (HasAvx2). These functions carry the target themselves, so the rest of
// the program runs on any x86-64 processor; the pipeline's loop that calls
// them is compiled for AVX2 whole (FormatLinesAvx2), so that they are inlined.
#define HALVEX_SCAN_AVX2 1

// Whether the processor (and the system, which must save its registers) can
// run AVX2 code.
inline bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

namespace line_scan_detail {

[[gnu::target("avx2")]] inline __m256i BytesAre(__m256i bytes, char c) {
    return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
}
[[gnu::target("avx2")]] inline unsigned MaskOf(__m256i bytes) {
    return static_cast<unsigned>(_mm256_movemask_epi8(bytes));
}

struct Avx2Blocks {
    template <bool kNulEnds>
    [[gnu::target("avx2")]] static BlockMasks Of(const char* at, char tab) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        const __m256i breaks = _mm256_or_si256(BytesAre(bytes, '\r'), BytesAre(bytes, '\n'));
        return {MaskOf(kNulEnds ? _mm256_or_si256(breaks, BytesAre(bytes, '\0')) : breaks),
                MaskOf(BytesAre(bytes, ':')),
                MaskOf(_mm256_or_si256(_mm256_or_si256(BytesAre(bytes, '"'), BytesAre(bytes, '\'')), bytes)),
                MaskOf(_mm256_or_si256(BytesAre(bytes, ' '), BytesAre(bytes, tab)))};
    }
};

}  // namespace line_scan_detail

template <bool kNulEnds = true>
[[gnu::target("avx2")]] inline LineScan ScanLineAvx2(std::string_view text, std::size_t from, bool tabs = false) {
    return line_scan_detail::ScanBy<kNulEnds, line_scan_detail::Avx2Blocks>(text, from, tabs);
}
#endif

template <bool kNulEnds = true>
[[gnu::always_inline]] inline LineScan ScanLine(std::string_view text, std::size_t from, bool tabs = false) {
#if defined(__SSE2__)
    return ScanLineSse2<kNulEnds>(text, from, tabs);
#else
    return ScanLinePortable<kNulEnds>(text, from, tabs);
#endif
}

}  // namespace halvex
