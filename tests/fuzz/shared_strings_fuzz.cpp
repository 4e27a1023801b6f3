// Fuzz target for the shared string table: arbitrary bytes loaded under a few queues of
// replacements (text, escapes, empty results), then written in place and appended.
#include "ooxml/shared_strings.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace engine;
    using namespace engine::ooxml;
    static const std::vector<PreparedQueue> queues = [] {
        std::vector<PreparedQueue> made;
        made.push_back(prepareQueue({{"a", "", false}, {"b", "xx\r ", true}}));
        made.push_back(prepareQueue({{"é", "_x0041_", false}}));
        made.push_back(prepareQueue({{"t", std::string(40000, 'w'), true}}));
        return made;
    }();
    auto strings = SharedStrings::load(std::string(reinterpret_cast<const char*>(data), size),
                                       "xl/sharedStrings.xml", queues);
    if (!strings) {
        return 0;
    }
    SharedStrings& table = strings.value();
    for (std::size_t queue = 0; queue < queues.size(); ++queue) {
        for (std::size_t index = 0; index < table.size() && index < 64; ++index) {
            if (table.change(queue, index) != nullptr) {
                table.markUsed(queue, index);
                (void)table.appendedIndex(queue, index);
            }
        }
    }
    (void)table.write(true, 1);
    (void)table.write(false, 0);
    return 0;
}
