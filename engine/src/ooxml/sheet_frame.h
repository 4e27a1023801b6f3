// Telling a part that cannot be a sheet from its first and last bytes, without parsing it: the
// check a sheet gets even when nothing in it can change and it is therefore not parsed.
#pragma once

#include "engine/result.h"

#include <string>
#include <string_view>

namespace engine::ooxml {

class SheetFrame {
public:
    /// Takes the next chunk of the part.
    void feed(std::string_view chunk);
    /// True when the part is in UTF-16: only a parser can judge it, and a quick look for ASCII
    /// words cannot tell whether it holds any.
    bool utf16() const;
    /// Corrupt when what was fed declares a DOCTYPE, does not start
    /// with a worksheet or macro sheet root element, or does not end with the end of an element.
    /// A part cut short by the reader checks its head only (`whole` false).
    Status check(bool whole = true) const;

private:
    static constexpr std::size_t kHead = 64 * 1024;
    static constexpr std::size_t kTail = 256;
    std::string m_head;
    std::string m_tail;
};

} // namespace engine::ooxml
