// Names of the built-in functions that BIFF8 formulas call by index.
#pragma once

#include <cstdint>

namespace engine::xls {

struct BuiltInFunction {
    std::uint16_t index;
    const char* name;
    int fixedArguments; ///< -1 for a variable count
};

/// The function of Ftab index, or nullptr for an index the table does not know.
const BuiltInFunction* builtInFunction(std::uint16_t index);

} // namespace engine::xls
