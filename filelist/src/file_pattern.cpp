// The program's own file-name matching: the same on every file system, whatever its case rules,
// and no shell globbing.
#include "filelist/file_pattern.h"

#include <QChar>
#include <string>

namespace filelist {
namespace {

// Case-folded code points of text; "?" then stands for one code point, not one UTF-16 unit.
template <typename Out>
void foldInto(QStringView text, Out& out) {
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t code = text[i].unicode();
        if (QChar::isHighSurrogate(code) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        out.push_back(QChar::toCaseFolded(code));
    }
}

// Wildcard match of the whole name: "*" any run, "?" one code point. Linear backtracking to the
// last "*" seen, so no input makes it slow.
bool globMatch(const char32_t* name, qsizetype nameSize, const char32_t* pattern,
               qsizetype patternSize) {
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype starP = -1;
    qsizetype starN = 0;
    while (n < nameSize) {
        if (p < patternSize && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (p < patternSize && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < patternSize && pattern[p] == U'*') {
        ++p;
    }
    return p == patternSize;
}

} // namespace

FilePattern::FilePattern(QStringView pattern) {
    m_folded.reserve(static_cast<std::size_t>(pattern.size()));
    foldInto(pattern, m_folded);
    const std::size_t size = m_folded.size();
    m_endsWithDotStar = size >= 2 && m_folded[size - 2] == U'.' && m_folded[size - 1] == U'*';
}

bool FilePattern::matches(QStringView name) const {
    // One buffer per thread, kept between calls: a scan matches every name of a tree.
    thread_local std::u32string folded;
    folded.clear();
    foldInto(name, folded);
    const auto patternSize = static_cast<qsizetype>(m_folded.size());
    if (globMatch(folded.data(), static_cast<qsizetype>(folded.size()), m_folded.data(),
                  patternSize)) {
        return true;
    }
    // A final ".*" may also stand for nothing at all: the name has no extension.
    return m_endsWithDotStar && globMatch(folded.data(), static_cast<qsizetype>(folded.size()),
                                          m_folded.data(), patternSize - 2);
}

bool matchesPattern(QStringView name, QStringView pattern) {
    return FilePattern(pattern).matches(name);
}

} // namespace filelist
