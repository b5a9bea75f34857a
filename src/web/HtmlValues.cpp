// Attribute values as a browser reads them, as far as their structure goes: character
// references to ASCII characters.
#include "HtmlScan.h"

#include <cstring>

namespace htmlscan {

namespace {
// The named character references to ASCII characters: all those that can change how an address
// reads. Those marked legacy are also read without their ";".
struct Named {
    const char* name;
    char c;
    bool legacy;
};
const Named kNamed[] = {
    {"AMP", '&', true}, {"DiacriticalGrave", '`', false}, {"GT", '>', true}, {"Hat", '^', false}, {"LT", '<', true},
    {"NewLine", '\n', false}, {"QUOT", '"', true}, {"Tab", '\t', false}, {"UnderBar", '_', false},
    {"VerticalLine", '|', false}, {"amp", '&', true}, {"apos", '\'', false}, {"ast", '*', false}, {"bsol", '\\', false},
    {"colon", ':', false}, {"comma", ',', false}, {"commat", '@', false}, {"dollar", '$', false}, {"equals", '=', false},
    {"excl", '!', false}, {"grave", '`', false}, {"gt", '>', true}, {"lbrace", '{', false}, {"lbrack", '[', false},
    {"lcub", '{', false}, {"lowbar", '_', false}, {"lpar", '(', false}, {"lsqb", '[', false}, {"lt", '<', true},
    {"midast", '*', false}, {"num", '#', false}, {"percnt", '%', false}, {"period", '.', false}, {"plus", '+', false},
    {"quest", '?', false}, {"quot", '"', true}, {"rbrace", '}', false}, {"rbrack", ']', false}, {"rcub", '}', false},
    {"rpar", ')', false}, {"rsqb", ']', false}, {"semi", ';', false}, {"sol", '/', false}, {"verbar", '|', false},
    {"vert", '|', false},
};

bool isAlnum(char c) { return isAsciiAlpha(c) || (c >= '0' && c <= '9'); }

void appendCodePoint(QByteArray& out, char32_t cp)
{
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
        return;
    }
    char buf[4];
    int len;
    if (cp < 0x800) {
        buf[0] = char(0xC0 | (cp >> 6)), len = 2;
    } else if (cp < 0x10000) {
        buf[0] = char(0xE0 | (cp >> 12)), len = 3;
    } else {
        buf[0] = char(0xF0 | (cp >> 18)), len = 4;
    }
    for (int k = 1; k < len; ++k)
        buf[k] = char(0x80 | ((cp >> (6 * (len - 1 - k))) & 0x3F));
    static const char hex[] = "0123456789ABCDEF";
    for (int k = 0; k < len; ++k) {
        out += '%';
        out += hex[uchar(buf[k]) >> 4];
        out += hex[uchar(buf[k]) & 15];
    }
}
} // namespace

QByteArray decodeValue(QByteArrayView raw)
{
    if (!raw.contains('&'))
        return raw.toByteArray();
    QByteArray out;
    out.reserve(raw.size());
    const qsizetype n = raw.size();
    qsizetype i = 0;
    while (i < n) {
        if (raw[i] != '&') {
            out += raw[i++];
            continue;
        }
        qsizetype j = i + 1;
        if (j < n && raw[j] == '#') {
            ++j;
            const bool hex = j < n && (raw[j] == 'x' || raw[j] == 'X');
            if (hex)
                ++j;
            const qsizetype digits = j;
            char32_t cp = 0;
            for (; j < n; ++j) {
                const char c = raw[j];
                int v;
                if (c >= '0' && c <= '9')
                    v = c - '0';
                else if (hex && asciiLower(c) >= 'a' && asciiLower(c) <= 'f')
                    v = asciiLower(c) - 'a' + 10;
                else
                    break;
                cp = cp > 0x10FFFF ? cp : cp * (hex ? 16 : 10) + char32_t(v);
            }
            if (j == digits) { // "&#" with no digits stays as written
                out += raw[i++];
                continue;
            }
            if (j < n && raw[j] == ';')
                ++j;
            appendCodePoint(out, cp);
            i = j;
            continue;
        }
        const Named* found = nullptr;
        qsizetype foundEnd = 0;
        for (const Named& e : kNamed) {
            const qsizetype len = qsizetype(strlen(e.name));
            if (raw.sliced(j).startsWith(QByteArrayView(e.name, len))) {
                const qsizetype after = j + len;
                if (after < n && raw[after] == ';') {
                    found = &e, foundEnd = after + 1;
                    break;
                }
                // Without its ";", a legacy name is read in a value only when no letter, digit
                // or "=" follows.
                if (e.legacy && (after == n || (!isAlnum(raw[after]) && raw[after] != '=')) && after > foundEnd)
                    found = &e, foundEnd = after;
            }
        }
        if (!found) {
            out += raw[i++];
            continue;
        }
        out += found->c;
        i = foundEnd;
    }
    return out;
}

} // namespace htmlscan
