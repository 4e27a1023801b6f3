// Fuzz target for the sets-file parser: arbitrary bytes decoded as the reader decodes a file,
// split with the default separator and with a longer one.
#include "sets/set_list.h"
#include "sets/sets_file.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& separator : {sets::kDefaultSeparator, QStringLiteral("=>>")}) {
        sets::SetList list;
        (void)sets::ParseSetsText(text, separator, list);
    }
    return 0;
}
