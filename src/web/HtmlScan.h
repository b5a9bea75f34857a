#pragma once
// Reading a page's markup as a browser tokenizes HTML, over the page's own bytes: start tags
// with the places of their attribute values, comments, doctypes and end tags, with the content of
// titles, text areas, styles, scripts and the like read as text, not as tags.
#include <QByteArray>
#include <QList>

#include <initializer_list>

namespace htmlscan {

struct Attribute {
    QByteArray name;       // ASCII letters in lower case
    qsizetype start = 0;   // the value's bytes [start, end) in the page; empty when it has none
    qsizetype end = 0;
    char quote = 0;        // '"', '\'' or 0 (unquoted or no value)
    bool first = true;     // the first attribute of its name in the tag: browsers drop the others
    // An unquoted value is never empty.
    bool hasValue() const { return quote || end > start; }
};

struct StartTag {
    QByteArray name;        // ASCII letters in lower case
    qsizetype start = 0;    // from "<" to after ">"
    qsizetype end = 0;
    // Only links (href, src, srcset), charset declarations (charset, http-equiv, content) and what
    // decides how svg and MathML content is read (encoding, color, face, size), in their order.
    QList<Attribute> attributes;
    bool foreign = false;    // an element of svg or MathML content
    bool inTemplate = false; // within a <template>, whose content is no part of the document
    // The first attribute of the name, or null.
    const Attribute* find(QByteArrayView name) const;
};

class Handler {
public:
    virtual ~Handler() = default;
    virtual void startTag(const StartTag&) {}
    // A comment (also "<?...>", "<!x...>" and "</ x>"), a doctype or an end tag: [start, end).
    enum Markup { Comment, Doctype, EndTag };
    virtual void markup(Markup, qsizetype, qsizetype) {}
};

// Reads a page, telling the handler what it finds. `inTag` reads a piece of a page that starts
// within a tag's attributes; a tag still open at its end is then told too (a page's tag left
// open at its end is no tag).
void scan(QByteArrayView page, Handler& handler, bool inTag = false);

// An attribute value as a browser reads it, as far as its structure goes: character references
// to ASCII characters decoded (numeric ones beyond ASCII as UTF-8 in "%XX" escapes, as an address
// holds them); references to other named characters stay as written.
QByteArray decodeValue(QByteArrayView raw);

// ASCII blanks as HTML reads them (a CR counts as the line end it stands for).
inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
inline bool isAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }
// Whether the name is one of the names.
bool isOneOf(QByteArrayView name, std::initializer_list<const char*> names);
// Whether the bytes equal the name in lower case, ASCII letters compared without case.
bool equalsLower(QByteArrayView bytes, QByteArrayView lowerName);

} // namespace htmlscan
