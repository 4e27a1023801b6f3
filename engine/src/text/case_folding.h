// Unicode simple case folding of single code points (CaseFolding.txt, status C and S).
// Full folding (ß -> ss) and the Turkic mappings (status F and T) are deliberately not applied.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine::text {

/// The simple case folding of c. Code points without a folding, and values above U+10FFFF
/// (which the matcher uses for bytes that are not UTF-8), map to themselves.
char32_t foldSimple(char32_t c);

/// True when some non-ASCII code point folds into the ASCII character c (for example
/// U+212A KELVIN SIGN into 'k'), so that ASCII-only matching cannot be trusted for it.
bool isFoldTargetOfNonAscii(char c);

/// The Unicode version of the folding data, for diagnostics.
const char* caseFoldingVersion();

namespace detail {
struct CaseFoldPair {
    std::uint32_t from;
    std::uint32_t to;
};
extern const CaseFoldPair kCaseFoldPairs[];
extern const std::size_t kCaseFoldPairCount;
extern const std::uint64_t kCaseFoldBlocks[];
extern const char kFoldTargetsInAscii[];
extern const char* const kCaseFoldingVersion;
} // namespace detail

} // namespace engine::text
