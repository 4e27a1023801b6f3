// Parsing and writing A1 references.
#include "cell_ref.h"

namespace engine::ooxml {

std::optional<CellRef> parseCellRef(std::string_view text) {
    CellRef ref;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$') {
        ++i;
    }
    std::uint64_t col = 0;
    const std::size_t colBegin = i;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c < 'A' || c > 'Z') {
            break;
        }
        col = col * 26 + static_cast<std::uint64_t>(c - 'A' + 1);
        if (col > 16384) {
            return std::nullopt;
        }
    }
    if (i == colBegin) {
        return std::nullopt;
    }
    if (i < text.size() && text[i] == '$') {
        ++i;
    }
    std::uint64_t row = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        row = row * 10 + static_cast<std::uint64_t>(c - '0');
        if (row > 1048576) {
            return std::nullopt;
        }
    }
    ref.col = static_cast<std::uint32_t>(col);
    ref.row = static_cast<std::uint32_t>(row);
    return ref;
}

std::string cellName(CellRef ref) {
    std::string letters;
    for (std::uint32_t c = ref.col; c > 0; c = (c - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    }
    return letters + (ref.row > 0 ? std::to_string(ref.row) : std::string());
}

std::optional<CellRange> parseRange(std::string_view text) {
    const auto colon = text.find(':');
    const auto first = parseCellRef(text.substr(0, colon));
    if (!first || first->row == 0) {
        return std::nullopt;
    }
    if (colon == std::string_view::npos) {
        return CellRange{*first, *first};
    }
    const auto last = parseCellRef(text.substr(colon + 1));
    if (!last || last->row == 0) {
        return std::nullopt;
    }
    return CellRange{*first, *last};
}

} // namespace engine::ooxml
