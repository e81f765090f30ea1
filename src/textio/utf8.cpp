#include "textio/utf8.h"

#include <algorithm>
#include <iterator>

namespace kalp {

namespace {

// The characters of Windows-1252 at 0x80..0x9F; the five bytes it leaves
// undefined become the replacement character.
constexpr char32_t block80[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the well-formed character at `at`, or 0.
size_t character(const std::string& s, size_t at) {
    const auto byte = [&](size_t i) {
        return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u;
    };
    const unsigned b = byte(at);
    if (b < 0x80) return 1;
    // The range of the second byte depends on the first (RFC 3629).
    unsigned low = 0x80, high = 0xBF;
    size_t n = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < n; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return n;
}

} // namespace

bool isutf8(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        const size_t n = character(text, at);
        if (n == 0) return false;
        at += n;
    }
    return true;
}

std::string asutf8(const std::string& text) { return isutf8(text) ? text : from1252(text); }

std::string from1252(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        append(out, b >= 0x80 && b < 0xA0 ? block80[b - 0x80] : static_cast<char32_t>(b));
    }
    return out;
}

bool to1252(const std::string& text, std::string& out) {
    out.clear();
    for (size_t at = 0; at < text.size();) {
        const size_t n = character(text, at);
        if (n == 0) return false;
        const auto byte = [&](size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[at + i])); };
        char32_t c = byte(0);
        if (n == 2) c = (c & 0x1F) << 6 | (byte(1) & 0x3F);
        if (n == 3) c = (c & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
        if (n == 4) return false;
        at += n;
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            out += static_cast<char>(c);
            continue;
        }
        const auto in = std::find(std::begin(block80), std::end(block80), c);
        if (c == 0xFFFD || in == std::end(block80)) return false;
        out += static_cast<char>(0x80 + (in - std::begin(block80)));
    }
    return true;
}

size_t utf8length(const std::string& text) {
    // Every character has one lead byte.
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string shorten(const std::string& text, size_t most) {
    if (utf8length(text) <= most) return text;
    std::string out;
    size_t n = 0;
    for (const char c : text) {
        // A lead byte starts the next character.
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++n == most) break;
        out += c;
    }
    return out + "\u2026";
}

} // namespace kalp
