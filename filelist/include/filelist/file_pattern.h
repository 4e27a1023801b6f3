// The program's own file-name patterns, used by the folder scans and the command line; the
// same rules on every file system.
#pragma once

#include <QStringView>
#include <vector>

namespace filelist {

/// A file-name pattern with the program's own rules, the same on every file system:
/// case-insensitive; "*" stands for any run of characters, dots included; "?" for exactly one
/// character; every other character for itself. A pattern ending in ".*" also matches a name
/// that its part before ".*" matches whole, so "*.*" matches every name, with or without a dot,
/// and "book.*" matches "book" as well as "book.xls".
class FilePattern {
public:
    explicit FilePattern(QStringView pattern);
    bool matches(QStringView name) const;

private:
    std::vector<char32_t> m_folded;
    bool m_endsWithDotStar = false;
};

/// One-off form of FilePattern(pattern).matches(name).
bool matchesPattern(QStringView name, QStringView pattern);

} // namespace filelist
