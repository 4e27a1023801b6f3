// Fuzz target for the XML scanner: arbitrary bytes in chunks of several sizes, with and without
// character data asked for. It must refuse or accept the same bytes the same way at any cut.
#include "xml/xml_scanner.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class Counter : public engine::xml::ScanHandler {
public:
    explicit Counter(bool characters) : m_characters(characters) {}
    engine::xml::Scanner* scanner = nullptr;
    std::size_t events = 0;
    void startElement(const engine::xml::QName& /*name*/, engine::xml::Attributes /*attributes*/,
                      engine::xml::Span /*tag*/) override {
        ++events;
        scanner->wantCharacters(m_characters);
    }
    void endElement(const engine::xml::QName& /*name*/, engine::xml::Span /*tag*/) override {
        ++events;
    }
    void characters(std::string_view text) override { events += text.size(); }

private:
    bool m_characters;
};

// The outcome of one scan: whether it succeeded, and how many events it gave.
std::pair<bool, std::size_t> scan(std::string_view bytes, std::size_t chunk, bool characters) {
    Counter counter(characters);
    engine::xml::Scanner scanner(counter);
    counter.scanner = &scanner;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        if (!scanner.feed(bytes.substr(at, chunk), false)) {
            return {false, 0};
        }
    }
    return {static_cast<bool>(scanner.feed({}, true)), counter.events};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const bool characters : {false, true}) {
        const auto whole = scan(bytes, size + 1, characters);
        for (const std::size_t chunk :
             {size < 4096 ? std::size_t{1} : std::size_t{61}, std::size_t{7}, std::size_t{4096}}) {
            const auto cut = scan(bytes, chunk, characters);
            // Where the input is cut must not change what it means.
            if (cut.first != whole.first || (whole.first && cut.second != whole.second)) {
                std::abort();
            }
        }
    }
    return 0;
}
