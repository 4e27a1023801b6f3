// Fuzz target for table parts: arbitrary bytes read as a table, its column formulas rewritten,
// then written out. Renames are left out: a save renames only columns that headerColumn found.
#include "ooxml/tables.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace engine;
    using namespace engine::ooxml;
    static const PreparedQueue queue = prepareQueue({{"A", "Column", false}, {"1", "", true}});
    static const std::vector<std::string> sheets = {"Sheet1", "Data"};
    auto table = Table::parse(std::string(reinterpret_cast<const char*>(data), size),
                              "xl/tables/table1.xml");
    if (!table) {
        return 0;
    }
    (void)table.value().replaceInFormulas(queue, sheets);
    (void)table.value().hasColumn("Column");
    (void)table.value().write();
    return 0;
}
