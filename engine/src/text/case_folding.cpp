// Look-up of the generated simple case folding table (case_folding_table.cpp).
#include "case_folding.h"

#include "ascii.h"

#include <algorithm>
#include <cstring>

namespace engine::text {

char32_t foldSimple(char32_t c) {
    if (c < 0x80) {
        return static_cast<unsigned char>(asciiLower(static_cast<char>(c)));
    }
    if (c >= 0x110000) {
        return c;
    }
    const std::uint32_t block = c >> 8;
    if ((detail::kCaseFoldBlocks[block >> 6] & (std::uint64_t{1} << (block & 63))) == 0) {
        return c;
    }
    const auto* begin = detail::kCaseFoldPairs;
    const auto* end = begin + detail::kCaseFoldPairCount;
    const auto* it = std::lower_bound(
        begin, end, c, [](const detail::CaseFoldPair& p, char32_t v) { return p.from < v; });
    return (it != end && it->from == c) ? static_cast<char32_t>(it->to) : c;
}

bool isFoldTargetOfNonAscii(char c) {
    return c != '\0' && std::strchr(detail::kFoldTargetsInAscii, c) != nullptr;
}

const char* caseFoldingVersion() {
    return detail::kCaseFoldingVersion;
}

} // namespace engine::text
