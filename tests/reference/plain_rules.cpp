// Plain model of the conversion and the text-mode rules; see plain_rules.h.
// Written for obviousness, not speed: every rule is a separate step, strings
// are copied freely and the decoder really shifts the text at every match.
#include "plain_rules.h"

namespace plain {
namespace {

using Table = std::vector<std::pair<std::string, unsigned char>>;

// Names of the Latin-1 characters 161 to 255, in code order.
const char* const kLatin1Names[] = {
    "&iexcl;",  "&cent;",   "&pound;",  "&curren;", "&yen;",    "&brvbar;", "&sect;",   "&uml;",
    "&copy;",   "&ordf;",   "&laquo;",  "&not;",    "&shy;",    "&reg;",    "&macr;",   "&deg;",
    "&plusmn;", "&sup2;",   "&sup3;",   "&acute;",  "&micro;",  "&para;",   "&middot;", "&cedil;",
    "&sup1;",   "&ordm;",   "&raquo;",  "&frac14;", "&frac12;", "&frac34;", "&iquest;", "&Agrave;",
    "&Aacute;", "&Acirc;",  "&Atilde;", "&Auml;",   "&Aring;",  "&AElig;",  "&Ccedil;", "&Egrave;",
    "&Eacute;", "&Ecirc;",  "&Euml;",   "&Igrave;", "&Iacute;", "&Icirc;",  "&Iuml;",   "&ETH;",
    "&Ntilde;", "&Ograve;", "&Oacute;", "&Ocirc;",  "&Otilde;", "&Ouml;",   "&times;",  "&Oslash;",
    "&Ugrave;", "&Uacute;", "&Ucirc;",  "&Uuml;",   "&Yacute;", "&THORN;",  "&szlig;",  "&agrave;",
    "&aacute;", "&acirc;",  "&atilde;", "&auml;",   "&aring;",  "&aelig;",  "&ccedil;", "&egrave;",
    "&eacute;", "&ecirc;",  "&euml;",   "&igrave;", "&iacute;", "&icirc;",  "&iuml;",   "&eth;",
    "&ntilde;", "&ograve;", "&oacute;", "&ocirc;",  "&otilde;", "&ouml;",   "&divide;", "&oslash;",
    "&ugrave;", "&uacute;", "&ucirc;",  "&uuml;",   "&yacute;", "&thorn;",  "&yuml;",
};
static_assert(sizeof(kLatin1Names) / sizeof(kLatin1Names[0]) == 95, "codes 161 to 255");

Table buildTable() {
    Table table = {{"&gt;", 0x3E},
                   {"&lt;", 0x3C},
                   {"&amp;", 0x26},
                   {"&quot;", 0x22},
                   {"&#160;", 0x20}};  // a plain blank, not 0xA0
    for (int code = 161; code <= 255; ++code)
        table.emplace_back("&#" + std::to_string(code) + ";", static_cast<unsigned char>(code));
    table.emplace_back("&nbsp;", 0x20);  // a plain blank, not 0xA0
    for (int i = 0; i < 95; ++i)
        table.emplace_back(kLatin1Names[i], static_cast<unsigned char>(161 + i));
    return table;
}

// Everything before the first NUL: no stage looks further.
std::string upToNul(const std::string& s) { return s.substr(0, s.find('\0')); }

// Byte-for-byte compare of `name` with the text at `pos`; running into the
// end of the text is a mismatch, and nothing past the end is looked at.
bool startsWithExact(const std::string& text, std::size_t pos, const std::string& name) {
    for (std::size_t k = 0; k < name.size(); ++k) {
        if (pos + k >= text.size()) return false;
        if (text[pos + k] != name[k]) return false;
    }
    return true;
}

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// ASCII case-insensitive compare of the first `count` bytes of `prefix`
// (lower case) with the text at `pos`; the end of the text is a mismatch.
bool startsWithFolded(const std::string& text, std::size_t pos, const char* prefix,
                      std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        if (pos + k >= text.size()) return false;
        if (foldAscii(static_cast<unsigned char>(text[pos + k])) !=
            static_cast<unsigned char>(prefix[k]))
            return false;
    }
    return true;
}

// Whitespace and digits of the POSIX locale, written out so that no locale
// and no sign of `char` can interfere.
bool isWhite(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

struct FilterState {
    std::string out;
    bool inTag = false;
    bool inScript = false;
    bool inTable = false;
    bool atStart = true;
};

// At a tag start: table state first, then the first tag-effect row that applies.
void tagStart(const std::string& in, std::size_t i, FilterState& s) {
    if (startsWithFolded(in, i, "<table", 6))
        s.inTable = true;
    else if (startsWithFolded(in, i, "</table", 7))
        s.inTable = false;

    if (startsWithFolded(in, i, "<script", 6)) {
        s.inScript = true;
        return;
    }
    if (startsWithFolded(in, i, "</script", 7)) {
        s.inScript = false;
        return;
    }
    if (startsWithFolded(in, i, "<tr", 3)) {
        s.out += '\n';
        return;
    }
    if (startsWithFolded(in, i, "<td", 3)) {
        s.out += '\t';
        return;
    }
    if (s.inTable) return;
    if (startsWithFolded(in, i, "<br", 3)) {
        s.out += '\n';
        return;
    }
    if (startsWithFolded(in, i, "<hr", 3)) {
        s.out += '\n';
        return;
    }
    if (startsWithFolded(in, i, "<p", 2)) {
        s.out += '\n';
        return;
    }
    if (startsWithFolded(in, i, "</title", 7)) {
        s.out += '\n';
        return;
    }
}

// The rules for the byte at `i`, in order; the first that applies is taken.
void filterByte(const std::string& in, std::size_t i, FilterState& s) {
    const unsigned char b = static_cast<unsigned char>(in[i]);
    if (s.inTag) {  // inside a tag
        if (b == '>') s.inTag = false;
        return;
    }
    if (b < 0x20) return;  // control byte
    if (b == '<') {        // tag start
        s.inTag = true;
        tagStart(in, i, s);
        return;
    }
    if (s.inScript) return;  // script content
    if (s.atStart) {         // leading blanks
        if (isWhite(b)) return;
        s.out += static_cast<char>(b);
        s.atStart = false;
        return;
    }
    // A text byte has been appended, so `out` is not empty and i > 0 here.
    if (isWhite(b) && isWhite(static_cast<unsigned char>(s.out.back())))
        return;  // blank after whitespace
    const unsigned char before = static_cast<unsigned char>(in[i - 1]);
    const unsigned char after = i + 1 < in.size() ? static_cast<unsigned char>(in[i + 1]) : 0;
    if (isWhite(b) && isDigit(before) && isDigit(after)) return;  // blank between digits
    s.out += static_cast<char>(b);                                // otherwise appended
}

}  // namespace

const Table& entityTable() {
    static const Table table = buildTable();
    return table;
}

std::string decode(std::string text) {
    text = upToNul(text);
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (text[pos] != '&') continue;
        for (const auto& row : entityTable()) {
            if (!startsWithExact(text, pos, row.first)) continue;
            text[pos] = static_cast<char>(row.second);
            text.erase(pos + 1, row.first.size() - 1);
            break;  // names end in their only ';', so no second row can match
        }
    }
    return text;
}

std::string filter(const std::string& input) {
    const std::string in = upToNul(input);
    FilterState state;
    for (std::size_t i = 0; i < in.size(); ++i) filterByte(in, i, state);
    return decode(state.out);
}

TextRead readText(const std::string& raw, std::size_t limit) {
    // First translate everything, as if there were no limit...
    std::string all;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\x1A') break;  // Ctrl-Z ends the input
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            all += '\n';
            ++i;  // the pair is one delivered byte
        } else {
            all += raw[i];  // a lone CR, also the last byte, stays
        }
    }
    // ...then the limit counts delivered bytes.
    return {all.substr(0, limit), all.size() > limit};
}

Run convert(const std::string& raw, std::size_t limit) {
    const TextRead read = readText(raw, limit);
    return {writeText(filter(read.delivered)), read.truncated};
}

std::string writeText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace plain
