// Function-name prefixes of newer functions (_xlfn., _xlws.) and LAMBDA parameters (_xlpm.).
#include "function_prefixes.h"

#include "formula_tokenizer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

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

// Functions Excel added after the original file format, which the file stores with a prefix
// (a call written without it reads back as an unknown function, #NAME?), sorted by name.
struct FutureFunction {
    std::string_view name;
    std::string_view prefix;
};
constexpr std::array kFutureFunctions = {
    FutureFunction{"ACOT", "_xlfn."},
    FutureFunction{"ACOTH", "_xlfn."},
    FutureFunction{"AGGREGATE", "_xlfn."},
    FutureFunction{"ARABIC", "_xlfn."},
    FutureFunction{"ARRAYTOTEXT", "_xlfn."},
    FutureFunction{"BASE", "_xlfn."},
    FutureFunction{"BETA.DIST", "_xlfn."},
    FutureFunction{"BETA.INV", "_xlfn."},
    FutureFunction{"BINOM.DIST", "_xlfn."},
    FutureFunction{"BINOM.DIST.RANGE", "_xlfn."},
    FutureFunction{"BINOM.INV", "_xlfn."},
    FutureFunction{"BITAND", "_xlfn."},
    FutureFunction{"BITLSHIFT", "_xlfn."},
    FutureFunction{"BITOR", "_xlfn."},
    FutureFunction{"BITRSHIFT", "_xlfn."},
    FutureFunction{"BITXOR", "_xlfn."},
    FutureFunction{"BYCOL", "_xlfn."},
    FutureFunction{"BYROW", "_xlfn."},
    FutureFunction{"CEILING.MATH", "_xlfn."},
    FutureFunction{"CEILING.PRECISE", "_xlfn."},
    FutureFunction{"CHISQ.DIST", "_xlfn."},
    FutureFunction{"CHISQ.DIST.RT", "_xlfn."},
    FutureFunction{"CHISQ.INV", "_xlfn."},
    FutureFunction{"CHISQ.INV.RT", "_xlfn."},
    FutureFunction{"CHISQ.TEST", "_xlfn."},
    FutureFunction{"CHOOSECOLS", "_xlfn."},
    FutureFunction{"CHOOSEROWS", "_xlfn."},
    FutureFunction{"COMBINA", "_xlfn."},
    FutureFunction{"CONCAT", "_xlfn."},
    FutureFunction{"CONFIDENCE.NORM", "_xlfn."},
    FutureFunction{"CONFIDENCE.T", "_xlfn."},
    FutureFunction{"COT", "_xlfn."},
    FutureFunction{"COTH", "_xlfn."},
    FutureFunction{"COVARIANCE.P", "_xlfn."},
    FutureFunction{"COVARIANCE.S", "_xlfn."},
    FutureFunction{"CSC", "_xlfn."},
    FutureFunction{"CSCH", "_xlfn."},
    FutureFunction{"DAYS", "_xlfn."},
    FutureFunction{"DECIMAL", "_xlfn."},
    FutureFunction{"DROP", "_xlfn."},
    FutureFunction{"ENCODEURL", "_xlfn."},
    FutureFunction{"ERF.PRECISE", "_xlfn."},
    FutureFunction{"ERFC.PRECISE", "_xlfn."},
    FutureFunction{"EXPAND", "_xlfn."},
    FutureFunction{"EXPON.DIST", "_xlfn."},
    FutureFunction{"F.DIST", "_xlfn."},
    FutureFunction{"F.DIST.RT", "_xlfn."},
    FutureFunction{"F.INV", "_xlfn."},
    FutureFunction{"F.INV.RT", "_xlfn."},
    FutureFunction{"F.TEST", "_xlfn."},
    FutureFunction{"FILTER", "_xlfn._xlws."},
    FutureFunction{"FILTERXML", "_xlfn."},
    FutureFunction{"FLOOR.MATH", "_xlfn."},
    FutureFunction{"FLOOR.PRECISE", "_xlfn."},
    FutureFunction{"FORECAST.ETS", "_xlfn."},
    FutureFunction{"FORECAST.ETS.CONFINT", "_xlfn."},
    FutureFunction{"FORECAST.ETS.SEASONALITY", "_xlfn."},
    FutureFunction{"FORECAST.ETS.STAT", "_xlfn."},
    FutureFunction{"FORECAST.LINEAR", "_xlfn."},
    FutureFunction{"FORMULATEXT", "_xlfn."},
    FutureFunction{"GAMMA", "_xlfn."},
    FutureFunction{"GAMMA.DIST", "_xlfn."},
    FutureFunction{"GAMMA.INV", "_xlfn."},
    FutureFunction{"GAMMALN.PRECISE", "_xlfn."},
    FutureFunction{"GAUSS", "_xlfn."},
    FutureFunction{"GROUPBY", "_xlfn."},
    FutureFunction{"HSTACK", "_xlfn."},
    FutureFunction{"HYPGEOM.DIST", "_xlfn."},
    FutureFunction{"IFNA", "_xlfn."},
    FutureFunction{"IFS", "_xlfn."},
    FutureFunction{"IMAGE", "_xlfn."},
    FutureFunction{"IMCOSH", "_xlfn."},
    FutureFunction{"IMCOT", "_xlfn."},
    FutureFunction{"IMCSC", "_xlfn."},
    FutureFunction{"IMCSCH", "_xlfn."},
    FutureFunction{"IMSEC", "_xlfn."},
    FutureFunction{"IMSECH", "_xlfn."},
    FutureFunction{"IMSINH", "_xlfn."},
    FutureFunction{"IMTAN", "_xlfn."},
    FutureFunction{"ISFORMULA", "_xlfn."},
    FutureFunction{"ISOMITTED", "_xlfn."},
    FutureFunction{"ISOWEEKNUM", "_xlfn."},
    FutureFunction{"LOGNORM.DIST", "_xlfn."},
    FutureFunction{"LOGNORM.INV", "_xlfn."},
    FutureFunction{"MAKEARRAY", "_xlfn."},
    FutureFunction{"MAP", "_xlfn."},
    FutureFunction{"MAXIFS", "_xlfn."},
    FutureFunction{"MINIFS", "_xlfn."},
    FutureFunction{"MODE.MULT", "_xlfn."},
    FutureFunction{"MODE.SNGL", "_xlfn."},
    FutureFunction{"MUNIT", "_xlfn."},
    FutureFunction{"NEGBINOM.DIST", "_xlfn."},
    FutureFunction{"NETWORKDAYS.INTL", "_xlfn."},
    FutureFunction{"NORM.DIST", "_xlfn."},
    FutureFunction{"NORM.INV", "_xlfn."},
    FutureFunction{"NORM.S.DIST", "_xlfn."},
    FutureFunction{"NORM.S.INV", "_xlfn."},
    FutureFunction{"NUMBERVALUE", "_xlfn."},
    FutureFunction{"PDURATION", "_xlfn."},
    FutureFunction{"PERCENTILE.EXC", "_xlfn."},
    FutureFunction{"PERCENTILE.INC", "_xlfn."},
    FutureFunction{"PERCENTOF", "_xlfn."},
    FutureFunction{"PERCENTRANK.EXC", "_xlfn."},
    FutureFunction{"PERCENTRANK.INC", "_xlfn."},
    FutureFunction{"PERMUTATIONA", "_xlfn."},
    FutureFunction{"PHI", "_xlfn."},
    FutureFunction{"PIVOTBY", "_xlfn."},
    FutureFunction{"POISSON.DIST", "_xlfn."},
    FutureFunction{"QUARTILE.EXC", "_xlfn."},
    FutureFunction{"QUARTILE.INC", "_xlfn."},
    FutureFunction{"RANDARRAY", "_xlfn."},
    FutureFunction{"RANK.AVG", "_xlfn."},
    FutureFunction{"RANK.EQ", "_xlfn."},
    FutureFunction{"REDUCE", "_xlfn."},
    FutureFunction{"REGEXEXTRACT", "_xlfn."},
    FutureFunction{"REGEXREPLACE", "_xlfn."},
    FutureFunction{"REGEXTEST", "_xlfn."},
    FutureFunction{"RRI", "_xlfn."},
    FutureFunction{"SCAN", "_xlfn."},
    FutureFunction{"SEC", "_xlfn."},
    FutureFunction{"SECH", "_xlfn."},
    FutureFunction{"SEQUENCE", "_xlfn."},
    FutureFunction{"SHEET", "_xlfn."},
    FutureFunction{"SHEETS", "_xlfn."},
    FutureFunction{"SKEW.P", "_xlfn."},
    FutureFunction{"SORT", "_xlfn._xlws."},
    FutureFunction{"SORTBY", "_xlfn."},
    FutureFunction{"STDEV.P", "_xlfn."},
    FutureFunction{"STDEV.S", "_xlfn."},
    FutureFunction{"STOCKHISTORY", "_xlfn."},
    FutureFunction{"SWITCH", "_xlfn."},
    FutureFunction{"T.DIST", "_xlfn."},
    FutureFunction{"T.DIST.2T", "_xlfn."},
    FutureFunction{"T.DIST.RT", "_xlfn."},
    FutureFunction{"T.INV", "_xlfn."},
    FutureFunction{"T.INV.2T", "_xlfn."},
    FutureFunction{"T.TEST", "_xlfn."},
    FutureFunction{"TAKE", "_xlfn."},
    FutureFunction{"TEXTAFTER", "_xlfn."},
    FutureFunction{"TEXTBEFORE", "_xlfn."},
    FutureFunction{"TEXTJOIN", "_xlfn."},
    FutureFunction{"TEXTSPLIT", "_xlfn."},
    FutureFunction{"TOCOL", "_xlfn."},
    FutureFunction{"TOROW", "_xlfn."},
    FutureFunction{"UNICHAR", "_xlfn."},
    FutureFunction{"UNICODE", "_xlfn."},
    FutureFunction{"UNIQUE", "_xlfn."},
    FutureFunction{"VALUETOTEXT", "_xlfn."},
    FutureFunction{"VAR.P", "_xlfn."},
    FutureFunction{"VAR.S", "_xlfn."},
    FutureFunction{"VSTACK", "_xlfn."},
    FutureFunction{"WEBSERVICE", "_xlfn."},
    FutureFunction{"WEIBULL.DIST", "_xlfn."},
    FutureFunction{"WORKDAY.INTL", "_xlfn."},
    FutureFunction{"WRAPCOLS", "_xlfn."},
    FutureFunction{"WRAPROWS", "_xlfn."},
    FutureFunction{"XLOOKUP", "_xlfn."},
    FutureFunction{"XMATCH", "_xlfn."},
    FutureFunction{"XOR", "_xlfn."},
};

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

std::string_view futureFunctionPrefix(std::string_view name) {
    const std::string key = upper(name);
    const auto* found =
        std::lower_bound(kFutureFunctions.begin(), kFutureFunctions.end(), key,
                         [](const FutureFunction& f, const std::string& k) { return f.name < k; });
    return found != kFutureFunctions.end() && found->name == key ? found->prefix
                                                                 : std::string_view();
}

bool mayFormFutureFunction(std::string_view replacement) {
    if (replacement.empty() || replacement.front() == '(') {
        return true; // joins the text around it, or makes a call of a name before it
    }
    const std::string r = upper(replacement);
    const auto nameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_';
    };
    // The runs of name characters in the replacement. A call it makes has a name that is a
    // whole run, or that ends with the first run (joined to text before the replacement), or
    // that starts with the last (joined to text after it); a replacement that is one run can
    // be joined on both sides, so the name holds it.
    std::vector<std::string_view> runs;
    for (std::size_t i = 0; i < r.size();) {
        if (!nameChar(r[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < r.size() && nameChar(r[j])) {
            ++j;
        }
        runs.emplace_back(std::string_view(r).substr(i, j - i));
        i = j;
    }
    const bool first = !runs.empty() && nameChar(r.front());
    const bool last = !runs.empty() && nameChar(r.back());
    for (const FutureFunction& f : kFutureFunctions) {
        if (runs.size() == 1 && first && last) {
            if (f.name.find(runs[0]) != std::string_view::npos) {
                return true;
            }
            continue;
        }
        for (std::size_t k = 0; k < runs.size(); ++k) {
            if (f.name == runs[k] || (k == 0 && first && f.name.ends_with(runs[k])) ||
                (k + 1 == runs.size() && last && f.name.starts_with(runs[k]))) {
                return true;
            }
        }
    }
    return false;
}

std::string prefixNewFutureFunctions(std::string_view before, std::string_view stored) {
    const auto calls = [](std::string_view formula) {
        std::vector<std::string> names; // called functions, prefixes left out, upper case
        for (const Token& t : tokenize(formula)) {
            if (t.kind == TokenKind::Function) {
                const std::string_view text = formula.substr(t.offset, t.length);
                names.push_back(upper(text.substr(prefixLength(text))));
            }
        }
        return names;
    };
    std::optional<std::vector<std::string>> earlier; // made when first needed
    std::string out;
    out.reserve(stored.size() + 16);
    for (const Token& t : tokenize(stored)) {
        const std::string_view text = stored.substr(t.offset, t.length);
        if (t.kind == TokenKind::Function && prefixLength(text) == 0) {
            if (const std::string_view prefix = futureFunctionPrefix(text); !prefix.empty()) {
                if (!earlier) {
                    earlier = calls(before);
                }
                if (std::ranges::find(*earlier, upper(text)) == earlier->end()) {
                    out += prefix;
                }
            }
        }
        out += text;
    }
    return out;
}

} // namespace engine::formula
