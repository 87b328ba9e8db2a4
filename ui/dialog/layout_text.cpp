// Encodings of the editor's text.
#include "ui/dialog/layout_text.h"

#include <algorithm>
#include <cstdint>

namespace pelorin::ui {
namespace {

// The length of the UTF-8 sequence that starts with `lead`, 0 when none may start with it.
size_t SequenceLength(uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// The code point of a well-formed sequence, or -1 (overlong, surrogate, beyond U+10FFFF).
long DecodeSequence(std::string_view bytes, size_t at, size_t length) {
    long code = uint8_t(bytes[at]) & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const uint8_t next = uint8_t(bytes[at + i]);
        if ((next & 0xC0) != 0x80) return -1;
        code = (code << 6) | (next & 0x3F);
    }
    static constexpr long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length > 1 && code < kSmallest[length]) return -1;
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return -1;
    return code;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    for (size_t at = 0; at < bytes.size();) {
        const size_t length = SequenceLength(uint8_t(bytes[at]));
        if (length == 0 || at + length > bytes.size()) return false;
        if (length > 1 && DecodeSequence(bytes, at, length) < 0) return false;
        at += length;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const uint8_t byte = uint8_t(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += char(0xC0 | (byte >> 6));
            text += char(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

std::string Utf8ToLatin1(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        size_t length = SequenceLength(uint8_t(text[at]));
        if (length == 0 || at + length > text.size()) length = 1;
        const long code = length == 1 ? uint8_t(text[at]) : DecodeSequence(text, at, length);
        bytes += code >= 0 && code <= 0xFF ? char(code) : '?';
        at += length;
    }
    return bytes;
}

std::string WithoutOverlongLines(std::string_view text, size_t maxBytes) {
    std::string out;
    out.reserve(std::min(text.size(), size_t(1) << 20));
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        if (line.size() <= maxBytes)
            out += line;
        else
            out += "; (a line of " + std::to_string(line.size()) + " bytes is left out)";
        if (end < text.size()) out += '\n';
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return out;
}

}  // namespace pelorin::ui
