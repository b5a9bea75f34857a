// Reading a page's markup as a browser tokenizes HTML: the tokenizer's states over bytes, with
// the few choices of the tree builder that set them (raw text elements, svg and MathML content,
// templates).
#include "HtmlScan.h"

#include <QHash>
#include <QSet>

#include <cstring>

namespace htmlscan {

bool equalsLower(QByteArrayView bytes, QByteArrayView lowerName)
{
    if (bytes.size() != lowerName.size())
        return false;
    for (qsizetype k = 0; k < bytes.size(); ++k)
        if (asciiLower(bytes[k]) != lowerName[k])
            return false;
    return true;
}

bool isOneOf(QByteArrayView name, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

const Attribute* StartTag::find(QByteArrayView n) const
{
    for (const Attribute& a : attributes)
        if (a.name == n)
            return &a;
    return nullptr;
}

namespace {

enum State : char {
    Data, Rcdata, Rawtext, ScriptData, Plaintext, Cdata,
    TagOpen, EndTagOpen, TagName,
    // "<", "</" and "</name" within text that only its own end tag ends (`textState` says which).
    TextLt, TextEndTagOpen, TextEndTagName,
    EscapeStart, EscapeStartDash, Escaped, EscapedDash, EscapedDashDash,
    DoubleEscapeStart, DoubleEscaped, DoubleEscapedDash, DoubleEscapedDashDash, DoubleEscapedLt, DoubleEscapeEnd,
    BeforeAttrName, AttrName, AfterAttrName, BeforeAttrValue, ValueDouble, ValueSingle, ValueUnquoted,
    AfterValueQuoted, SelfClosing,
    BogusComment, CommentStart, CommentStartDash, CommentText, CommentEndDash, CommentEnd, CommentEndBang, Doctype,
};


// Elements nested deeper are taken as closed at once, as browsers limit the depth of a page's
// tree too: the end tags of a hostile page are then never matched against millions.
constexpr qsizetype kMaxDepth = 512;

// An open element of svg or MathML content.
struct Foreign {
    QByteArray name;
    bool svg = false;
    bool integration = false; // its content is read as HTML again
};

class Scanner {
public:
    Scanner(QByteArrayView page, Handler& h) : p_(page), h_(h) {}
    void run(bool inTag);

private:
    bool startsWithLower(qsizetype at, const char* lower) const
    {
        const qsizetype n = qsizetype(strlen(lower));
        return at + n <= p_.size() && equalsLower(p_.sliced(at, n), QByteArrayView(lower, n));
    }
    void newTag(qsizetype lt, bool end)
    {
        tag_ = StartTag();
        tag_.start = lt;
        endTag_ = end;
        selfClosing_ = false;
        attrOpen_ = false;
    }
    void newAttribute(qsizetype at)
    {
        keepAttribute();
        attr_ = Attribute();
        attr_.start = attr_.end = at;
        attrOpen_ = true;
    }
    // Only the attributes that anyone looks at are kept: a tag of a hostile page may have
    // millions.
    void keepAttribute()
    {
        if (attrOpen_ && isOneOf(attr_.name, {"href", "src", "srcset", "charset", "http-equiv", "content", "encoding",
                                            "color", "face", "size"}))
            tag_.attributes.append(attr_);
        attrOpen_ = false;
    }
    State emitTag(qsizetype end);
    State startTagSwitch(const QByteArray& name);
    bool inForeign() const { return !foreign_.isEmpty() && !foreign_.last().integration; }
    void pushForeign(const Foreign& f)
    {
        if (foreign_.size() < kMaxDepth) {
            foreign_.append(f);
            ++openNames_[f.name];
        }
    }
    void popForeign(qsizetype toSize)
    {
        while (foreign_.size() > toSize) {
            if (--openNames_[foreign_.last().name] == 0)
                openNames_.remove(foreign_.last().name);
            foreign_.removeLast();
        }
    }

    QByteArrayView p_;
    Handler& h_;
    StartTag tag_;
    Attribute attr_;       // the attribute being read
    bool attrOpen_ = false;
    bool endTag_ = false;
    bool selfClosing_ = false; // the tag ends with "/>"
    QByteArray lastStart_;   // the name of the last start tag: the end tag of raw text is its own
    QByteArray buffer_;      // the name read after "</" in text, or after "<" in an escaped script
    State textState_ = Data; // the text that a "<" in it that is no end tag returns to
    QList<Foreign> foreign_;
    QHash<QByteArray, int> openNames_; // how many of each name stand in foreign_
    int templates_ = 0;
    bool select_ = false; // within a <select>, which has no place for other elements
};

State Scanner::startTagSwitch(const QByteArray& n)
{
    if (isOneOf(n, {"title", "textarea"}))
        return Rcdata;
    // The program shows pages from disk without their scripts, so a <noscript> holds markup, as a
    // browser reads it then; with scripts on it would hold text.
    if (isOneOf(n, {"style", "xmp", "iframe", "noembed", "noframes"}))
        return Rawtext;
    if (n == "script")
        return ScriptData;
    if (n == "plaintext")
        return Plaintext;
    return Data;
}

State Scanner::emitTag(qsizetype end)
{
    tag_.end = end;
    keepAttribute();
    const QByteArray& n = tag_.name;
    const bool selfClosing = selfClosing_;
    if (endTag_) {
        h_.markup(Handler::EndTag, tag_.start, end);
        if (!foreign_.isEmpty()) {
            if (isOneOf(n, {"br", "p"}) && inForeign()) {
                while (inForeign())
                    popForeign(foreign_.size() - 1);
            } else if (openNames_.contains(n)) {
                for (qsizetype k = foreign_.size() - 1; k >= 0; --k)
                    if (foreign_[k].name == n) {
                        popForeign(k);
                        break;
                    }
            }
        }
        if (!inForeign()) {
            if (n == "template" && templates_ > 0)
                --templates_;
            else if (n == "select")
                select_ = false;
        }
        return Data;
    }
    // Browsers keep the first of the attributes of one name.
    if (tag_.attributes.size() > 1) {
        QSet<QByteArray> seen;
        for (Attribute& a : tag_.attributes) {
            a.first = !seen.contains(a.name);
            seen.insert(a.name);
        }
    }
    tag_.inTemplate = templates_ > 0;
    if (inForeign()) {
        const bool breakOut = isOneOf(n, {"b", "big", "blockquote", "body", "br", "center", "code", "dd", "div", "dl", "dt",
                                        "em", "embed", "h1", "h2", "h3", "h4", "h5", "h6", "head", "hr", "i", "img", "li",
                                        "listing", "menu", "meta", "nobr", "ol", "p", "pre", "ruby", "s", "small", "span",
                                        "strong", "strike", "sub", "sup", "table", "tt", "u", "ul", "var"}) ||
                              (n == "font" && (tag_.find("color") || tag_.find("face") || tag_.find("size")));
        if (!breakOut) {
            tag_.foreign = true;
            h_.startTag(tag_);
            if (!selfClosing) {
                Foreign f{n, foreign_.last().svg, false};
                if (f.svg)
                    f.integration = isOneOf(n, {"foreignobject", "desc", "title"});
                else if (isOneOf(n, {"mi", "mo", "mn", "ms", "mtext"}))
                    f.integration = true;
                else if (const Attribute* e = tag_.find("encoding"); e && n == "annotation-xml")
                    f.integration = equalsLower(p_.sliced(e->start, e->end - e->start), "text/html") ||
                                    equalsLower(p_.sliced(e->start, e->end - e->start), "application/xhtml+xml");
                // Within MathML, "svg" is a MathML element but in an annotation.
                if (n == "svg" && foreign_.last().name == "annotation-xml")
                    f.svg = true, f.integration = false;
                pushForeign(f);
            }
            return Data;
        }
        while (inForeign())
            popForeign(foreign_.size() - 1);
    }
    h_.startTag(tag_);
    if (select_) {
        // Its own end, and the tags that close it; a browser drops the others, so they open no
        // raw text or svg.
        if (n == "select") {
            select_ = false;
            return Data;
        }
        if (isOneOf(n, {"input", "keygen", "textarea"}))
            select_ = false;
        else if (n != "script" && n != "template")
            return Data;
    }
    if (n == "select") {
        select_ = true;
        return Data;
    }
    if (n == "svg" || n == "math") {
        if (!selfClosing)
            pushForeign(Foreign{n, n == "svg", false});
        return Data;
    }
    if (n == "template")
        ++templates_;
    lastStart_ = n;
    return startTagSwitch(n);
}

void Scanner::run(bool inTag)
{
    const qsizetype n = p_.size();
    const char* d = p_.data();
    State s = Data;
    if (inTag) {
        newTag(0, false);
        s = BeforeAttrName;
    }
    qsizetype markStart = 0; // where the comment, doctype or text end tag being read began
    qsizetype i = 0;
    // Each case reads the byte at i; "continue" without moving on reads it again in the new state.
    while (i < n) {
        const char c = d[i];
        switch (s) {
        case Data: {
            const void* lt = memchr(d + i, '<', size_t(n - i));
            if (!lt)
                return;
            i = static_cast<const char*>(lt) - d;
            markStart = i++;
            s = TagOpen;
            continue;
        }
        case Rcdata:
        case Rawtext:
        case ScriptData: {
            const void* lt = memchr(d + i, '<', size_t(n - i));
            if (!lt)
                return;
            i = static_cast<const char*>(lt) - d;
            markStart = i++;
            textState_ = s;
            s = TextLt;
            continue;
        }
        case Plaintext:
            return;
        case Cdata: {
            const qsizetype end = p_.indexOf("]]>", i);
            if (end < 0)
                return;
            i = end + 3;
            s = Data;
            continue;
        }
        case TagOpen:
            if (c == '!') {
                if (p_.sliced(i + 1).startsWith("--")) {
                    i += 3;
                    s = CommentStart;
                } else if (startsWithLower(i + 1, "doctype")) {
                    i += 8;
                    s = Doctype;
                } else if (p_.sliced(i + 1).startsWith("[CDATA[") && inForeign()) {
                    i += 8;
                    s = Cdata;
                } else {
                    ++i;
                    s = BogusComment;
                }
            } else if (c == '/') {
                ++i;
                s = EndTagOpen;
            } else if (isAsciiAlpha(c)) {
                newTag(markStart, false);
                s = TagName;
            } else if (c == '?') {
                s = BogusComment;
            } else {
                s = Data;
            }
            continue;
        case EndTagOpen:
            if (isAsciiAlpha(c)) {
                newTag(markStart, true);
                s = TagName;
            } else if (c == '>') {
                ++i;
                s = Data;
            } else {
                s = BogusComment;
            }
            continue;
        case TagName:
            ++i;
            if (isBlank(c))
                s = BeforeAttrName;
            else if (c == '/')
                s = SelfClosing;
            else if (c == '>')
                s = emitTag(i);
            else
                tag_.name += asciiLower(c);
            continue;
        case TextLt:
            if (c == '/') {
                ++i;
                s = TextEndTagOpen;
            } else if (textState_ == ScriptData && c == '!') {
                ++i;
                s = EscapeStart;
            } else if (textState_ == Escaped && isAsciiAlpha(c)) {
                buffer_.clear();
                s = DoubleEscapeStart;
            } else {
                s = textState_;
            }
            continue;
        case TextEndTagOpen:
            if (isAsciiAlpha(c)) {
                buffer_.clear();
                s = TextEndTagName;
            } else {
                s = textState_;
            }
            continue;
        case TextEndTagName:
            if (isAsciiAlpha(c)) {
                buffer_ += asciiLower(c);
                ++i;
            } else if ((isBlank(c) || c == '/' || c == '>') && buffer_ == lastStart_) {
                newTag(markStart, true);
                tag_.name = buffer_;
                ++i;
                s = c == '>' ? emitTag(i) : c == '/' ? SelfClosing : BeforeAttrName;
            } else {
                s = textState_;
            }
            continue;
        case EscapeStart:
        case EscapeStartDash:
            if (c == '-') {
                ++i;
                s = s == EscapeStart ? EscapeStartDash : EscapedDashDash;
            } else {
                s = ScriptData;
            }
            continue;
        case Escaped:
        case EscapedDash:
        case EscapedDashDash:
            ++i;
            if (c == '-')
                s = s == Escaped ? EscapedDash : EscapedDashDash;
            else if (c == '<')
                markStart = i - 1, textState_ = Escaped, s = TextLt;
            else if (c == '>' && s == EscapedDashDash)
                s = ScriptData;
            else
                s = Escaped;
            continue;
        case DoubleEscapeStart:
        case DoubleEscapeEnd:
            if (isBlank(c) || c == '/' || c == '>') {
                ++i;
                const bool script = buffer_ == "script";
                s = s == DoubleEscapeStart ? (script ? DoubleEscaped : Escaped) : (script ? Escaped : DoubleEscaped);
            } else if (isAsciiAlpha(c)) {
                buffer_ += asciiLower(c);
                ++i;
            } else {
                s = s == DoubleEscapeStart ? Escaped : DoubleEscaped;
            }
            continue;
        case DoubleEscaped:
        case DoubleEscapedDash:
        case DoubleEscapedDashDash:
            ++i;
            if (c == '-')
                s = s == DoubleEscaped ? DoubleEscapedDash : DoubleEscapedDashDash;
            else if (c == '<')
                s = DoubleEscapedLt;
            else if (c == '>' && s == DoubleEscapedDashDash)
                s = ScriptData;
            else
                s = DoubleEscaped;
            continue;
        case DoubleEscapedLt:
            if (c == '/') {
                ++i;
                buffer_.clear();
                s = DoubleEscapeEnd;
            } else {
                s = DoubleEscaped;
            }
            continue;
        case BeforeAttrName:
            if (isBlank(c)) {
                ++i;
            } else if (c == '/' || c == '>') {
                s = AfterAttrName;
            } else {
                newAttribute(i);
                if (c == '=') {
                    attr_.name += c;
                    ++i;
                }
                s = AttrName;
            }
            continue;
        case AttrName:
            if (isBlank(c) || c == '/' || c == '>') {
                s = AfterAttrName;
            } else if (c == '=') {
                ++i;
                s = BeforeAttrValue;
            } else {
                attr_.name += asciiLower(c);
                ++i;
            }
            continue;
        case AfterAttrName:
            if (isBlank(c)) {
                ++i;
            } else if (c == '/') {
                ++i;
                s = SelfClosing;
            } else if (c == '=') {
                ++i;
                s = BeforeAttrValue;
            } else if (c == '>') {
                ++i;
                s = emitTag(i);
            } else {
                newAttribute(i);
                s = AttrName;
            }
            continue;
        case BeforeAttrValue:
            if (isBlank(c)) {
                ++i;
            } else if (c == '"' || c == '\'') {
                ++i;
                attr_.quote = c;
                attr_.start = attr_.end = i;
                s = c == '"' ? ValueDouble : ValueSingle;
            } else if (c == '>') {
                ++i;
                s = emitTag(i);
            } else {
                attr_.start = i;
                s = ValueUnquoted;
            }
            continue;
        case ValueDouble:
        case ValueSingle: {
            const void* q = memchr(d + i, s == ValueDouble ? '"' : '\'', size_t(n - i));
            if (!q) {
                i = n;
                attr_.end = n;
                continue;
            }
            i = static_cast<const char*>(q) - d;
            attr_.end = i++;
            s = AfterValueQuoted;
            continue;
        }
        case ValueUnquoted:
            if (isBlank(c) || c == '>') {
                attr_.end = i++;
                s = c == '>' ? emitTag(i) : BeforeAttrName;
            } else {
                attr_.end = ++i;
            }
            continue;
        case AfterValueQuoted:
            if (isBlank(c)) {
                ++i;
                s = BeforeAttrName;
            } else if (c == '/') {
                ++i;
                s = SelfClosing;
            } else if (c == '>') {
                ++i;
                s = emitTag(i);
            } else {
                s = BeforeAttrName;
            }
            continue;
        case SelfClosing:
            if (c == '>') {
                ++i;
                selfClosing_ = true;
                s = emitTag(i);
            } else {
                s = BeforeAttrName;
            }
            continue;
        case BogusComment:
        case Doctype: {
            const void* gt = memchr(d + i, '>', size_t(n - i));
            i = gt ? static_cast<const char*>(gt) - d + 1 : n;
            h_.markup(s == Doctype ? Handler::Doctype : Handler::Comment, markStart, i);
            s = Data;
            continue;
        }
        case CommentStart:
        case CommentStartDash:
            if (c == '-') {
                ++i;
                s = s == CommentStart ? CommentStartDash : CommentEnd;
            } else if (c == '>') { // "<!-->" and "<!--->" are whole comments
                ++i;
                h_.markup(Handler::Comment, markStart, i);
                s = Data;
            } else {
                s = CommentText;
            }
            continue;
        case CommentText: {
            const void* dash = memchr(d + i, '-', size_t(n - i));
            if (!dash) {
                i = n;
                continue;
            }
            i = static_cast<const char*>(dash) - d + 1;
            s = CommentEndDash;
            continue;
        }
        case CommentEndDash:
            if (c == '-') {
                ++i;
                s = CommentEnd;
            } else {
                s = CommentText;
            }
            continue;
        case CommentEnd:
        case CommentEndBang:
            if (c == '>') {
                ++i;
                h_.markup(Handler::Comment, markStart, i);
                s = Data;
            } else if (c == '!' && s == CommentEnd) {
                ++i;
                s = CommentEndBang;
            } else if (c == '-') {
                ++i;
                s = s == CommentEnd ? CommentEnd : CommentEndDash;
            } else {
                s = CommentText;
            }
            continue;
        }
    }
    // The end of the page.
    switch (s) {
    case TagName:
    case BeforeAttrName:
    case AttrName:
    case AfterAttrName:
    case BeforeAttrValue:
    case ValueDouble:
    case ValueSingle:
    case ValueUnquoted:
    case AfterValueQuoted:
    case SelfClosing:
        if (inTag && !endTag_) {
            keepAttribute();
            h_.startTag(tag_);
        }
        break;
    case BogusComment:
    case Doctype:
        h_.markup(s == Doctype ? Handler::Doctype : Handler::Comment, markStart, n);
        break;
    case CommentStart:
    case CommentStartDash:
    case CommentText:
    case CommentEndDash:
    case CommentEnd:
    case CommentEndBang:
        h_.markup(Handler::Comment, markStart, n);
        break;
    default:
        break;
    }
}

} // namespace

void scan(QByteArrayView page, Handler& handler, bool inTag)
{
    Scanner(page, handler).run(inTag);
}

} // namespace htmlscan
