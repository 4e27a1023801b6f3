// Function-name prefixes of newer functions (_xlfn., _xlws.) and LAMBDA parameters (_xlpm.).
#include "function_prefixes.h"

#include "formula_tokenizer.h"

#include <array>

namespace engine::formula {

namespace {

constexpr std::array<std::string_view, 3> kPrefixes = {"_xlfn.", "_xlws.", "_xlpm."};

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return u;
}

// The length of the chain of prefixes at the start of name.
std::size_t prefixLength(std::string_view name) {
    std::size_t length = 0;
    for (bool more = true; more;) {
        more = false;
        for (const std::string_view p : kPrefixes) {
            if (upper(name.substr(length, p.size())) == upper(p)) {
                length += p.size();
                more = true;
                break;
            }
        }
    }
    return length;
}

bool isNameToken(const Token& t) {
    return t.kind == TokenKind::Function || t.kind == TokenKind::Name;
}

} // namespace

bool mayHoldPrefix(std::string_view s) {
    for (std::size_t i = s.find('_'); i != std::string_view::npos && i + 2 < s.size();
         i = s.find('_', i + 1)) {
        if ((s[i + 1] == 'x' || s[i + 1] == 'X') && (s[i + 2] == 'l' || s[i + 2] == 'L')) {
            return true;
        }
    }
    return false;
}

FormulaView withoutFunctionPrefixes(std::string_view stored) {
    FormulaView view;
    if (!mayHoldPrefix(stored)) {
        view.text = stored;
        return view;
    }
    view.text.reserve(stored.size());
    for (const Token& t : tokenize(stored)) {
        const std::string_view text = stored.substr(t.offset, t.length);
        const std::size_t p = isNameToken(t) ? prefixLength(text) : 0;
        if (p == 0 || p == text.size()) {
            view.text += text;
            continue;
        }
        const std::string_view bare = text.substr(p);
        std::string key = upper(bare);
        bool known = false;
        for (const auto& entry : view.prefixes) {
            known = known || entry.first == key;
        }
        if (!known) {
            view.prefixes.emplace_back(std::move(key), std::string(text.substr(0, p)));
        }
        view.text += bare;
    }
    return view;
}

std::string restoreFunctionPrefixes(const FormulaView& original, std::string_view editedView) {
    if (original.prefixes.empty()) {
        return std::string(editedView);
    }
    std::string out;
    out.reserve(editedView.size() + 16);
    for (const Token& t : tokenize(editedView)) {
        const std::string_view text = editedView.substr(t.offset, t.length);
        if (isNameToken(t) && prefixLength(text) == 0) {
            const std::string key = upper(text);
            for (const auto& [name, prefix] : original.prefixes) {
                if (name == key) {
                    out += prefix;
                    break;
                }
            }
        }
        out += text;
    }
    return out;
}

} // namespace engine::formula
