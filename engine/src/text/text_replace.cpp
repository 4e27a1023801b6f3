// Finding and replacing a find text in one cell text: the Matcher and rich-text runs.
// The _xHHHH_ escapes and UTF-16 lengths are in escapes.cpp.
#include "text_replace.h"

#include "ascii.h"
#include "case_folding.h"
#include "utf8.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace engine::text {

namespace {

constexpr std::array<unsigned char, 256> makeAsciiLower() {
    std::array<unsigned char, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<unsigned char>(asciiLower(static_cast<char>(i)));
    }
    return table;
}
constexpr std::array<unsigned char, 256> kAsciiLower = makeAsciiLower();

// How a prepared find text is searched:
// Bytes      exact bytes (matchCase with well-formed UTF-8: a byte match is a code point match,
//            because UTF-8 sequences synchronise by themselves);
// AsciiFold  ASCII case-insensitive bytes (the folded find text is all ASCII);
// Units      decoded units, folded when matchCase is off (anything else).
enum class Mode { Nothing, Bytes, AsciiFold, Units };

// Needles shorter than this go through std::string_view::find (memchr); longer ones
// through Boyer-Moore-Horspool, whose skips win once the needle is a few bytes long.
constexpr std::size_t kHorspoolMinLength = 4;

// Match start offsets of the last m units; on the stack for usual find texts.
constexpr std::size_t kInlineRing = 64;

// True when s may hold a non-ASCII code point whose simple folding is ASCII: U+017F LATIN
// SMALL LETTER LONG S (C5 BF) or U+212A KELVIN SIGN (E2 84 AA), the only two (the generated
// table's kFoldTargetsInAscii lists their targets, and a test keeps the two in step).
bool holdsCodePointFoldingIntoAscii(std::string_view s) {
    return std::memchr(s.data(), 0xC5, s.size()) != nullptr ||
           std::memchr(s.data(), 0xE2, s.size()) != nullptr;
}

} // namespace

struct Matcher::Impl {
    Mode mode = Mode::Nothing;
    bool foldUnits = false;
    bool wholeText = false;
    // AsciiFold: a non-ASCII character of the input may fold onto a letter of the needle
    // (KELVIN SIGN onto 'k'), so inputs holding one go through the unit search.
    bool nonAsciiNeedsUnits = false;
    // Units: false when some unit of the find text is beyond ASCII.
    bool unitsFoldToAscii = true;
    std::string needle;
    std::array<std::size_t, 256> skip{};
    std::vector<char32_t> units;
    std::vector<std::size_t> failure;

    template <bool Fold>
    [[nodiscard]] std::size_t horspool(std::string_view hay, std::size_t from) const;
    [[nodiscard]] std::size_t findBytes(std::string_view hay, std::size_t from) const;
    [[nodiscard]] std::size_t findAsciiFold(std::string_view hay, std::size_t from) const;

    // Calls onMatch(begin, end) for each match left to right, without overlap, until it
    // returns false.
    template <class F>
    void forEachUnitMatch(std::string_view input, F&& onMatch) const;
    template <class F>
    void forEachMatch(std::string_view input, F&& onMatch) const;
    template <class F>
    void forEachPartMatch(std::string_view input, F&& onMatch) const;
};

template <bool Fold>
std::size_t Matcher::Impl::horspool(std::string_view hay, std::size_t from) const {
    const std::size_t m = needle.size();
    const std::size_t n = hay.size();
    if (n < m) {
        return std::string_view::npos;
    }
    const auto* h = reinterpret_cast<const unsigned char*>(hay.data());
    const auto* p = reinterpret_cast<const unsigned char*>(needle.data());
    const unsigned char last = p[m - 1];
    for (std::size_t pos = from; pos <= n - m;) {
        unsigned char c = h[pos + m - 1];
        if constexpr (Fold) {
            c = kAsciiLower[c];
        }
        if (c == last) {
            std::size_t j = 0;
            if constexpr (Fold) {
                while (j + 1 < m && kAsciiLower[h[pos + j]] == p[j]) {
                    ++j;
                }
            } else {
                while (j + 1 < m && h[pos + j] == p[j]) {
                    ++j;
                }
            }
            if (j + 1 == m) {
                return pos;
            }
        }
        pos += skip[c];
    }
    return std::string_view::npos;
}

std::size_t Matcher::Impl::findBytes(std::string_view hay, std::size_t from) const {
    if (needle.size() < kHorspoolMinLength) {
        return hay.find(needle, from);
    }
    return horspool<false>(hay, from);
}

std::size_t Matcher::Impl::findAsciiFold(std::string_view hay, std::size_t from) const {
    if (needle.size() >= 2) {
        return horspool<true>(hay, from);
    }
    const auto want = static_cast<unsigned char>(needle[0]);
    for (std::size_t i = from; i < hay.size(); ++i) {
        if (kAsciiLower[static_cast<unsigned char>(hay[i])] == want) {
            return i;
        }
    }
    return std::string_view::npos;
}

template <class F>
void Matcher::Impl::forEachUnitMatch(std::string_view input, F&& onMatch) const {
    // Knuth-Morris-Pratt over decoded units: linear time and no allocation for usual find
    // texts, whatever the input. Each unit folds to exactly one unit, so a match covers as
    // many input units as the find text has.
    const std::size_t m = units.size();
    std::array<std::size_t, kInlineRing> inlineRing{};
    std::vector<std::size_t> heapRing;
    std::size_t* ring = inlineRing.data();
    if (m > kInlineRing) {
        heapRing.resize(m);
        ring = heapRing.data();
    }
    std::size_t q = 0;
    std::size_t index = 0;
    for (std::size_t i = 0; i < input.size(); ++index) {
        const utf8::Unit unit = utf8::decode(input, i);
        const char32_t u = foldUnits ? foldSimple(unit.value) : unit.value;
        ring[index % m] = i;
        i += unit.length;
        while (q > 0 && units[q] != u) {
            q = failure[q - 1];
        }
        if (units[q] == u) {
            ++q;
        }
        if (q == m) {
            if (!onMatch(ring[(index + 1 - m) % m], i)) {
                return;
            }
            q = 0; // no overlap: the next match starts after this one
        }
    }
}

template <class F>
void Matcher::Impl::forEachMatch(std::string_view input, F&& onMatch) const {
    if (mode == Mode::Nothing || input.empty()) {
        return;
    }
    if (!wholeText) {
        forEachPartMatch(input, onMatch);
        return;
    }
    // Simple folding maps one code point to one, so a match that starts at the first byte has
    // one end: the input is the find text exactly when that end is the input's.
    forEachPartMatch(input, [&](std::size_t begin, std::size_t end) {
        if (begin == 0 && end == input.size()) {
            onMatch(begin, end);
        }
        return false;
    });
}

template <class F>
void Matcher::Impl::forEachPartMatch(std::string_view input, F&& onMatch) const {
    if (mode == Mode::Units) {
        // ASCII input cannot match a find text that folds to something beyond ASCII.
        if (unitsFoldToAscii || !utf8::isAscii(input)) {
            forEachUnitMatch(input, onMatch);
        }
        return;
    }
    if (mode == Mode::AsciiFold && nonAsciiNeedsUnits && holdsCodePointFoldingIntoAscii(input)) {
        forEachUnitMatch(input, onMatch);
        return;
    }
    const std::size_t m = needle.size();
    for (std::size_t pos = 0;;) {
        const std::size_t at =
            mode == Mode::Bytes ? findBytes(input, pos) : findAsciiFold(input, pos);
        if (at == std::string_view::npos || !onMatch(at, at + m)) {
            return;
        }
        pos = at + m;
    }
}

Matcher::Matcher(std::string_view findUtf8, bool matchCase, bool wholeText) : m_impl(new Impl) {
    Impl& im = *m_impl;
    im.wholeText = wholeText;
    if (findUtf8.empty()) {
        return;
    }
    bool wellFormed = true;
    bool asciiAfterFolding = true;
    for (std::size_t i = 0; i < findUtf8.size();) {
        const utf8::Unit unit = utf8::decode(findUtf8, i);
        const char32_t u = matchCase ? unit.value : foldSimple(unit.value);
        wellFormed = wellFormed && u < utf8::kOpaqueByteBase;
        asciiAfterFolding = asciiAfterFolding && u < 0x80;
        im.units.push_back(u);
        im.unitsFoldToAscii = im.unitsFoldToAscii && u < 0x80;
        i += unit.length;
    }
    if (matchCase && wellFormed) {
        im.mode = Mode::Bytes;
        im.needle.assign(findUtf8);
    } else if (!matchCase && asciiAfterFolding) {
        im.mode = Mode::AsciiFold;
        for (const char32_t u : im.units) {
            im.needle.push_back(static_cast<char>(u));
            im.nonAsciiNeedsUnits =
                im.nonAsciiNeedsUnits || isFoldTargetOfNonAscii(static_cast<char>(u));
        }
    } else {
        im.mode = Mode::Units;
    }
    im.foldUnits = !matchCase;

    const std::size_t m = im.needle.size();
    if (m >= 2) {
        im.skip.fill(m);
        for (std::size_t j = 0; j + 1 < m; ++j) {
            const auto c = static_cast<unsigned char>(im.needle[j]);
            im.skip[c] = m - 1 - j;
            if (im.mode == Mode::AsciiFold && c >= 'a' && c <= 'z') {
                im.skip[c - 'a' + 'A'] = m - 1 - j;
            }
        }
    }
    if (im.mode == Mode::Units || im.nonAsciiNeedsUnits) {
        im.failure.assign(im.units.size(), 0);
        for (std::size_t i = 1, k = 0; i < im.units.size(); ++i) {
            while (k > 0 && im.units[i] != im.units[k]) {
                k = im.failure[k - 1];
            }
            if (im.units[i] == im.units[k]) {
                ++k;
            }
            im.failure[i] = k;
        }
    }
}

Matcher::~Matcher() {
    delete m_impl;
}

Matcher::Matcher(Matcher&& other) noexcept : m_impl(other.m_impl) {
    other.m_impl = nullptr;
}

Matcher& Matcher::operator=(Matcher&& other) noexcept {
    if (this != &other) {
        delete m_impl;
        m_impl = other.m_impl;
        other.m_impl = nullptr;
    }
    return *this;
}

std::vector<std::pair<std::size_t, std::size_t>> Matcher::findAll(std::string_view input) const {
    std::vector<std::pair<std::size_t, std::size_t>> found;
    if (m_impl != nullptr) {
        m_impl->forEachMatch(input, [&](std::size_t begin, std::size_t end) {
            found.emplace_back(begin, end);
            return true;
        });
    }
    return found;
}

bool Matcher::contains(std::string_view input) const {
    bool any = false;
    if (m_impl != nullptr) {
        m_impl->forEachMatch(input, [&](std::size_t, std::size_t) {
            any = true;
            return false;
        });
    }
    return any;
}

std::size_t Matcher::replaceAll(std::string_view input, std::string_view replacement,
                                std::string& out) const {
    if (m_impl == nullptr) {
        return 0;
    }
    std::size_t count = 0;
    std::size_t copied = 0;
    std::string result;
    m_impl->forEachMatch(input, [&](std::size_t begin, std::size_t end) {
        if (count == 0) {
            result.reserve(input.size() + replacement.size());
        }
        result.append(input.substr(copied, begin - copied));
        result.append(replacement);
        copied = end;
        ++count;
        return true;
    });
    if (count != 0) {
        result.append(input.substr(copied));
        out = std::move(result);
    }
    return count;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca < 0x80 && cb < 0x80) {
            if (kAsciiLower[ca] != kAsciiLower[cb]) {
                return false;
            }
            ++i;
            ++j;
            continue;
        }
        const utf8::Unit ua = utf8::decode(a, i);
        const utf8::Unit ub = utf8::decode(b, j);
        if (foldSimple(ua.value) != foldSimple(ub.value)) {
            return false;
        }
        i += ua.length;
        j += ub.length;
    }
    return i == a.size() && j == b.size();
}

std::optional<RunsResult> replaceInRuns(const std::vector<std::string_view>& runs,
                                        const Matcher& matcher, std::string_view replacement) {
    // Matching runs on the joined text lets a match span runs; each byte then goes back to
    // the run it came from.
    std::vector<std::size_t> starts;
    starts.reserve(runs.size() + 1);
    std::string joined;
    for (const std::string_view run : runs) {
        starts.push_back(joined.size());
        joined.append(run);
    }
    starts.push_back(joined.size());
    const auto matches = matcher.findAll(joined);
    if (matches.empty()) {
        return std::nullopt;
    }

    std::vector<std::string> texts(runs.size());
    // The run holding byte b: the last run starting at or before b (empty runs starting at
    // the same offset come before it, so they never receive anything).
    auto runOf = [&](std::size_t b) {
        return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), b) -
                                        starts.begin() - 1);
    };
    auto copy = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from < to ? runOf(from) : runs.size(); k < runs.size(); ++k) {
            const std::size_t a = std::max(from, starts[k]);
            const std::size_t b = std::min(to, starts[k + 1]);
            if (a >= to) {
                break;
            }
            if (a < b) {
                texts[k].append(joined, a, b - a);
            }
        }
    };
    std::size_t pos = 0;
    for (const auto& [begin, end] : matches) {
        copy(pos, begin);
        texts[runOf(begin)].append(replacement);
        pos = end;
    }
    copy(pos, joined.size());

    RunsResult result;
    result.replacements = matches.size();
    result.runs.reserve(runs.size());
    for (std::size_t k = 0; k < runs.size(); ++k) {
        if (runs[k].empty()) {
            result.runs.emplace_back(std::string());
        } else if (texts[k].empty()) {
            result.runs.emplace_back(std::nullopt);
        } else {
            result.runs.emplace_back(std::move(texts[k]));
        }
    }
    return result;
}

} // namespace engine::text
