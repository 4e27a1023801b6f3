// The raw bytes of a part between the scanner and the output: keeps what a later splice may
// still need, and copies every byte that no splice replaces exactly as it was read.
#pragma once

#include "xml_scanner.h"

#include <string>
#include <string_view>

namespace engine::xml {

/// Input bytes from offset `base` on, for reading the raw form of tags already scanned.
struct RawView {
    std::string_view bytes;
    std::uint64_t base = 0;
    std::string_view raw(Span span) const { return bytes.substr(span.begin - base, span.size()); }
};

class Splicer {
public:
    enum class Mode {
        Discard,  ///< counting only: nothing is written, bytes go once no splice needs them
        Deferred, ///< output starts at the first splice; until then every byte is kept
        Emit,     ///< output from the start
    };
    explicit Splicer(Mode mode) : m_mode(mode) {}

    /// Appends the next input bytes (the same bytes, in the same order, as the scanner gets).
    void append(std::string_view chunk) { m_window.append(chunk); }
    /// The input bytes of span; span must lie in what was appended and not yet released.
    std::string_view raw(Span span) const {
        return std::string_view(m_window).substr(span.begin - m_base, span.size());
    }

    /// The bytes held, valid until the next append or release.
    RawView view() const { return {m_window, m_base}; }

    /// Writes the input up to span.begin, then `with` in place of the span's bytes. Spans
    /// must come in input order without overlap. In Deferred mode the first replace starts
    /// the output at the beginning of the part.
    void replace(Span span, std::string_view with);
    /// No splice will start before `offset`: the input before it goes to the output (if any)
    /// and is dropped from memory, except in Deferred mode before the first splice.
    void release(std::uint64_t offset);
    /// Gives up output (Deferred mode only, before the first splice), to bound memory: from now
    /// on the splicer only counts, and the caller runs again in Emit mode if a splice comes.
    void discardOutput() {
        if (m_mode == Mode::Deferred) {
            { m_mode = Mode::Discard; }
        }
    }
    /// Writes the rest of the input after the last splice (call after the last append).
    void finish();

    /// Output produced so far; the caller drains it (e.g. into a compressor) and clears it.
    std::string& output() { return m_out; }
    /// True once a splice has been made.
    bool changed() const { return m_changed; }
    /// Bytes held in memory, to bound Deferred mode.
    std::size_t held() const { return m_window.size(); }
    Mode mode() const { return m_mode; }

private:
    void copyTo(std::uint64_t offset);

    Mode m_mode;
    std::string m_window; // input bytes from m_base on
    std::uint64_t m_base = 0;
    std::uint64_t m_copied = 0; // input before this offset is in the output (or skipped)
    std::string m_out;
    bool m_changed = false;
};

} // namespace engine::xml
