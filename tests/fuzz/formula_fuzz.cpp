// Fuzz target for the formula tokenizer and the well-formedness check: any text, whose tokens
// must follow each other in order without overlap and stay inside it.
#include "formula/formula_tokenizer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto tokens = engine::formula::tokenize(text);
    (void)engine::formula::checkWellFormed(text);
    std::size_t end = 0;
    for (const auto& token : tokens) {
        if (token.offset < end || token.offset + token.length > size) {
            std::abort();
        }
        end = token.offset + token.length;
    }
    return 0;
}
