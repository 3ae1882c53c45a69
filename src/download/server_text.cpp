#include "server_text.h"

namespace {
// The length of the UTF-8 sequence at text[i] that encodes a character to
// replace; 0 when the bytes there are something else.
size_t ControlSequenceAt(std::string_view text, size_t i) {
    const auto b = [&](size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u; };
    const unsigned c = b(0);
    if (c < 0x20 || c == 0x7F) return 1;
    // A lone byte 0x80..0x9F is a C1 control on an 8-bit terminal.
    if (c >= 0x80 && c <= 0x9F) return 1;
    if (c == 0xC2 && b(1) >= 0x80 && b(1) <= 0x9F) return 2;  // U+0080..U+009F
    if (c == 0xE2 && b(1) == 0x80) {
        const unsigned d = b(2);
        // U+200E/F marks, U+2028/9 separators, U+202A..E embeddings and overrides
        if (d == 0x8E || d == 0x8F || (d >= 0xA8 && d <= 0xAE)) return 3;
    }
    if (c == 0xE2 && b(1) == 0x81 && b(2) >= 0xA6 && b(2) <= 0xA9) return 3;  // U+2066..U+2069 isolates
    return 0;
}

// The length of the valid UTF-8 lead and continuation bytes at text[i] (1
// for a byte that starts no sequence), so that continuation bytes are never
// mistaken for lone C1 bytes.
size_t SequenceLength(std::string_view text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? (c <= 0xEF ? 3 : 1) : c >= 0xC2 ? 2 : 1;
    if (n == 1 || i + n > text.size()) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}
}  // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (const size_t control = ControlSequenceAt(text, i)) {
            out += ' ';
            i += control;
            continue;
        }
        const size_t n = SequenceLength(text, i);
        out.append(text.substr(i, n));
        i += n;
    }
    return out;
}
