#include "cli/terminal_text.h"

#include <langinfo.h>
#include <wchar.h>  // wcwidth is POSIX, not in std

#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

// One character from the front of text: its length in bytes (0 for bytes that are no valid
// UTF-8, then one byte is taken as raw) and its code.
struct Character {
    std::size_t length;
    wchar_t code;
};

Character next_character(std::string_view text) {
    std::mbstate_t state{};
    wchar_t code = 0;
    std::size_t got = std::mbrtowc(&code, text.data(), text.size(), &state);
    if (got == static_cast<std::size_t>(-1) || got == static_cast<std::size_t>(-2)) {
        return {0, 0};
    }
    return {got == 0 ? 1 : got, code};  // 0: the NUL character, one byte
}

// Characters that change what the terminal does or how the rest of the line reads, though
// they are not C0 or C1 controls: bidirectional overrides and isolates, line separators.
bool is_format_control(wchar_t code) {
    return (code >= 0x200E && code <= 0x200F) || (code >= 0x2028 && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

void append_escaped(std::string& out, wchar_t code) {
    char text[16];
    switch (code) {
        case L'\n':
            out += "\\n";
            return;
        case L'\r':
            out += "\\r";
            return;
        case L'\t':
            out += "\\t";
            return;
        case 0x1B:
            out += "\\e";
            return;
        default:
            break;
    }
    if (code < 0x80) {
        std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(code));
    } else {
        std::snprintf(text, sizeof text, "\\u{%X}", static_cast<unsigned>(code));
    }
    out += text;
}

std::string safe(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        Character c = next_character(text);
        if (c.length == 0) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "\\x%02X", static_cast<unsigned char>(text[0]));
            out += byte;
            text.remove_prefix(1);
            continue;
        }
        bool control = c.code < 0x20 || (c.code >= 0x7F && c.code < 0xA0) ||
                       is_format_control(c.code) || wcwidth(c.code) < 0;
        if (control && !(keepLineBreaks && c.code == L'\n')) {
            append_escaped(out, c.code);
        } else {
            out.append(text.substr(0, c.length));
        }
        text.remove_prefix(c.length);
    }
    return out;
}

}  // namespace

void select_utf8_ctype() {
    if (std::setlocale(LC_CTYPE, "") != nullptr &&
        std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) {
        return;
    }
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        std::setlocale(LC_CTYPE, "C");  // every byte above 127 is then shown escaped
    }
}

std::string terminal_safe(std::string_view text) {
    return safe(text, false);
}

std::string terminal_safe_lines(std::string_view text, const std::vector<std::string>& names) {
    std::string out;
    std::size_t plain = 0;  // start of the text not yet copied
    std::size_t at = 0;
    while (at < text.size()) {
        const std::string* found = nullptr;
        for (const std::string& name : names) {
            if (!name.empty() && text.substr(at, name.size()) == name &&
                (found == nullptr || name.size() > found->size())) {
                found = &name;
            }
        }
        if (found == nullptr) {
            ++at;
            continue;
        }
        out += safe(text.substr(plain, at - plain), true) + safe(*found, false);
        at += found->size();
        plain = at;
    }
    return out + safe(text.substr(plain), true);
}

int display_width(std::string_view text) {
    int width = 0;
    while (!text.empty()) {
        Character c = next_character(text);
        if (c.length == 0) {
            c = {1, L'?'};
        }
        int columns = wcwidth(c.code);
        width += columns > 0 ? columns : 0;
        text.remove_prefix(c.length);
    }
    return width;
}

std::string cut_to_width(std::string_view text, int columns) {
    std::size_t used = 0;
    int width = 0;
    while (used < text.size()) {
        Character c = next_character(text.substr(used));
        if (c.length == 0) {
            c = {1, L'?'};
        }
        int w = wcwidth(c.code);
        w = w > 0 ? w : 0;  // a combining mark stays with the character before it
        if (width + w > columns) {
            break;
        }
        width += w;
        used += c.length;
    }
    return std::string(text.substr(0, used));
}
