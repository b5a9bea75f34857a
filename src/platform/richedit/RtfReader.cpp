#include "platform/richedit/RtfReader.h"

#include "platform/richedit/RtfCodePage.h"

#include <QHash>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One token of RTF: a control word or symbol. The scanner works on raw bytes.
struct Word {
    QByteArrayView name; // letters of a control word, or the one character of a symbol
    bool symbol = false;
    bool hasParam = false;
    int param = 0;
};

// Reads a control word or symbol at pos (which points at the backslash); pos ends after it
// (and after the space that ends a control word).
Word scanControl(QByteArrayView d, qsizetype& pos)
{
    Word w;
    const qsizetype n = d.size();
    ++pos; // backslash
    if (pos >= n) {
        w.symbol = true;
        return w;
    }
    if (!isLetter(d[pos])) {
        w.symbol = true;
        w.name = d.sliced(pos, 1);
        ++pos;
        return w;
    }
    const qsizetype start = pos;
    while (pos < n && isLetter(d[pos]))
        ++pos;
    w.name = d.sliced(start, std::min<qsizetype>(pos - start, 32));
    bool neg = false;
    if (pos < n && d[pos] == '-' && pos + 1 < n && isDigit(d[pos + 1])) {
        neg = true;
        ++pos;
    }
    if (pos < n && isDigit(d[pos])) {
        w.hasParam = true;
        qint64 v = 0;
        while (pos < n && isDigit(d[pos])) {
            if (v < 100'000'000'000LL)
                v = v * 10 + (d[pos] - '0');
            ++pos;
        }
        v = std::min<qint64>(v, 2147483647LL);
        w.param = int(neg ? -v : v);
    }
    if (pos < n && d[pos] == ' ')
        ++pos;
    return w;
}

// pos points just after a group's '{' (or inside it); moves pos to the '}' that closes the group
// (or to the end). \bin data and escaped braces are stepped over.
void skipToGroupEnd(QByteArrayView d, qsizetype& pos)
{
    int depth = 1;
    const qsizetype n = d.size();
    while (pos < n) {
        const char c = d[pos];
        if (c == '{') {
            ++depth;
            ++pos;
        } else if (c == '}') {
            if (--depth == 0)
                return;
            ++pos;
        } else if (c == '\\') {
            if (pos + 1 < n && isLetter(d[pos + 1])) {
                const Word w = scanControl(d, pos);
                if (w.name == "bin" && w.param > 0)
                    pos += std::min<qsizetype>(w.param, n - pos);
            } else {
                pos += 2;
            }
        } else {
            ++pos;
        }
    }
    pos = n;
}

// Groups left open at the end of d.
int unclosedGroups(QByteArrayView d)
{
    int depth = 0;
    const qsizetype n = d.size();
    qsizetype pos = 0;
    while (pos < n) {
        const char c = d[pos];
        if (c == '{') {
            ++depth;
            ++pos;
        } else if (c == '}') {
            --depth;
            ++pos;
        } else if (c == '\\') {
            if (pos + 1 < n && isLetter(d[pos + 1])) {
                const Word w = scanControl(d, pos);
                if (w.name == "bin" && w.param > 0)
                    pos += std::min<qsizetype>(w.param, n - pos);
            } else {
                pos += 2;
            }
        } else {
            ++pos;
        }
    }
    return depth;
}

// Whether a group that is not document text took text that was: d holds a paragraph word
// (\par, \pard), or \bin data that runs past its end and so over whatever came after it.
bool swallowsText(QByteArrayView d)
{
    for (qsizetype pos = 0; pos < d.size();) {
        if (d[pos] != '\\') {
            ++pos;
            continue;
        }
        const Word w = scanControl(d, pos);
        if (w.name == "par" || w.name == "pard")
            return true;
        if (w.name == "bin" && w.param > 0) {
            if (w.param > d.size() - pos)
                return true;
            pos += w.param;
        }
    }
    return false;
}

enum class Dest {
    Body,        // document text
    Skip,        // ignored group
    FontTable,
    FontEntry,
    FontRealName,
    ColorTable,
    FieldInst,
    Pn,
    PnTextBefore,
    PnTextAfter,
    ListTable,
    List,
    ListLevel,
    ListLevelText,
    ListOverride,
    Upr,
};

struct CharState {
    int font = -1;           // -1: the default font
    int halfPoints = 24;
    bool bold = false, italic = false, strike = false, hidden = false, protect = false;
    bool superscript = false, subscript = false;
    RichUnderlineKind underline = RichUnderlineKind::None;
    int offset = 0;
    int color = 0;
    int highlight = 0;
    bool operator==(const CharState&) const = default;
};

size_t qHash(const CharState& s, size_t seed = 0)
{
    return qHashMulti(seed, s.font, s.halfPoints, s.bold, s.italic, s.strike, s.hidden, s.protect,
                      s.superscript, s.subscript, int(s.underline), s.offset, s.color, s.highlight);
}

struct Group {
    Dest dest = Dest::Body;
    CharState ch;
    RichParaProps para;
    int uc = 1;
    int field = -1;          // index of the field this group belongs to
    bool fieldResult = false;
    Dest uprOuter = Dest::Body;
    bool destOwner = false;  // this group set its destination (not inherited)
    qsizetype openPos = 0;   // offset of the group's '{'
    bool readWhole = false;  // a picture or object group, read as one piece
};

struct FontInfo {
    QString name;
    int charset = 1;
    int codePage = -1;       // \cpg, -1 when not given
    int pitch = 0;
    RichFontFamily family = RichFontFamily::Nil;
};

struct ListLevelInfo {
    int nfc = 0;             // \levelnfc
    int start = 1;
    QString text;
};

const QHash<QByteArray, QChar>& specialChars()
{
    static const QHash<QByteArray, QChar> m = {
        {"tab", QChar(0x09)},      {"emdash", QChar(0x2014)},   {"endash", QChar(0x2013)},
        {"emspace", QChar(0x2003)}, {"enspace", QChar(0x2002)},  {"qmspace", QChar(0x2005)},
        {"bullet", QChar(0x2022)},  {"lquote", QChar(0x2018)},   {"rquote", QChar(0x2019)},
        {"ldblquote", QChar(0x201C)}, {"rdblquote", QChar(0x201D)}, {"zwj", QChar(0x200D)},
        {"zwnj", QChar(0x200C)},    {"ltrmark", QChar(0x200E)},  {"rtlmark", QChar(0x200F)},
        {"zwbo", QChar(0x200B)},    {"line", QChar(0x2028)},
    };
    return m;
}

// Destinations that are skipped whether or not they are marked with \*.
bool isSkippedDestination(QByteArrayView w)
{
    static const char* const names[] = {
        "stylesheet", "info", "header", "headerl", "headerr", "headerf", "footer", "footerl",
        "footerr", "footerf", "footnote", "pntext", "listtext", "xe", "tc", "txe", "rxe",
        "filetbl", "revtbl", "rsidtbl", "template", "annotation", "atnid", "atnauthor", "atndate",
        "atnref", "atntime", "atrfstart", "atrfend", "bkmkstart", "bkmkend", "generator",
        "nonshppict", "objdata", "colorschememapping", "themedata", "latentstyles", "datastore",
        "xmlnstbl", "mmathPr", "pgdsctbl", "do", "shpinst", "fchars", "lchars", "userprops",
        "docvar", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn", "picprop",
        "blipuid", "comment", "doccomm", "title", "subject", "author", "operator", "keywords",
        "nextfile", "protusertbl", "listpicture", "wgrffmtfilter", "pnseclvl", "htmltag",
        "mhtmltag", "fldtype", "falt", "panose", "fname", "expandedcolortbl", "shptxt",
        "private", "printim", "background", "pgptbl", "defchp", "defpap", "formfield", "datafield",
        "bkmkcolf", "bkmkcoll", "category", "company", "creatim", "revtim", "buptim", "hlinkbase",
        "manager", "pwd", "passwordhash", "listpicture", "oldcprops", "oldpprops", "oldsprops",
        "oldtprops", "ebcstart", "ebcend", "factoidname",
        // for readers that do not know nested tables; this one reads their rows
        "nonesttables",
    };
    static const QSet<QByteArray> set = [] {
        QSet<QByteArray> s;
        for (const char* n : names)
            s.insert(QByteArray(n));
        return s;
    }();
    // A view of the word's bytes, not a copy: this runs for every control word.
    return set.contains(QByteArray::fromRawData(w.data(), w.size()));
}

class Reader {
public:
    Reader(QByteArrayView data, QTextDocument& doc, int nesting, bool keepLastPar = false)
        : d_(data), doc_(doc), cursor_(&doc), nesting_(nesting), keepLastPar_(keepLastPar)
    {
    }

    bool run(QString* error);
    // Reading stopped short of the text's end: \bin data runs past the end, a picture or object
    // is cut off, or paragraphs went into a group that is not text because its brace is missing
    // (see run). Groups merely left open at the end are not counted: some writers leave out
    // the final braces, and every word of the text has been read then.
    bool cutShort() const { return cutShort_; }

private:
    // input
    QByteArrayView d_;
    qsizetype pos_ = 0;
    QTextDocument& doc_;
    QTextCursor cursor_;
    int nesting_ = 0;
    bool keepLastPar_ = false; // inserting: a final \par is a paragraph break like any other

    // state
    std::vector<Group> stack_;
    int overflow_ = 0;
    bool starPending_ = false;
    bool done_ = false;
    bool cutShort_ = false;
    // Where the last group closed ('}'), and its bytes from '{' when it was not document text.
    qsizetype lastCloseAt_ = -1;
    QByteArrayView lastTextlessGroup_;
    qsizetype wordStart_ = 0; // offset of the control word being handled
    int documentCodePage_ = 1252;
    int defaultFont_ = 0;
    QHash<int, FontInfo> fonts_;
    std::vector<QColor> colors_; // invalid = auto
    bool colorHas_ = false;
    int red_ = 0, green_ = 0, blue_ = 0;

    // font table entry being read
    bool fontOpen_ = false;
    int fontIndex_ = 0;
    FontInfo font_;
    QByteArray fontName_;
    QByteArray fontRealName_;

    // text
    QByteArray pendingBytes_;
    int pendingCodePage_ = 1252;
    QString runText_;
    QTextCharFormat runFormat_;
    bool runFormatValid_ = false;
    bool charDirty_ = true;
    // Formats made so far, by state (field runs are not cached).
    QHash<CharState, QTextCharFormat> formatCache_;
    QTextCharFormat cachedCharFormat();
    bool anyPar_ = false;
    bool cellTab_ = false;    // the last thing written is the tab of a \cell

    // fields
    std::vector<QString> fieldInst_;

    // numbering being read from a \pn group
    RichNumbering pn_;

    // list tables: list id -> levels; \ls number -> list id
    QHash<int, std::vector<ListLevelInfo>> lists_;
    QHash<int, int> overrides_;
    int listId_ = 0;
    std::vector<ListLevelInfo> listLevels_;
    ListLevelInfo level_;
    int overrideListId_ = 0, overrideLs_ = 0;
    int ls_ = 0;              // \ls of the current paragraph (group-independent like rich edit)
    int ilvl_ = 0;

    RichParaProps lastPara_;  // of the outermost group, once it closed

    // tabs being defined
    RichTabKind tabKind_ = RichTabKind::Left;
    RichTabLeader tabLeader_ = RichTabLeader::None;

    Group& top() { return stack_.back(); }

    void pushGroup();
    void popGroup();
    void skipBinary(int count);
    void handleWord(const Word& w);
    void handleDestination(QByteArrayView name, bool starred);
    bool overflowDestination(QByteArrayView name);
    void textByte(char c);
    void flushBytes();
    void appendText(const QString& s);
    void appendBodyText(const QString& s);
    void flushRun();
    void endParagraph();
    void finishFont();
    void finishPn(Group& outer);
    int currentCodePage() const;
    mutable int cpFont_ = -2, cpDocument_ = 0, cpValue_ = 0;
    mutable qsizetype cpFonts_ = -1;
    QTextCharFormat makeCharFormat() const;
    QTextBlockFormat makeBlockFormat() const;
    void skipUnicodeFallback(int count);
    QByteArray groupFromWord();
    void readPicture();
    void readObject();
    void applyList();
};

bool Reader::run(QString* error)
{
    // Some editors put a UTF-8 byte-order mark before "{\rtf"; it is no part of the RTF.
    if (d_.startsWith("\xEF\xBB\xBF"))
        d_ = d_.sliced(3);
    const qsizetype n = d_.size();
    if (n < 5 || !d_.startsWith("{\\rtf")) {
        if (error)
            *error = QStringLiteral("The text is not in Rich Text Format.");
        return false;
    }
    const bool undo = doc_.isUndoRedoEnabled();
    doc_.setUndoRedoEnabled(false);
    cursor_.movePosition(QTextCursor::End);
    const int startBlock = cursor_.blockNumber();
    // One edit block: the cursor does not lay text out after every insertion.
    cursor_.beginEditBlock();

    while (pos_ < n && !done_) {
        const char c = d_[pos_];
        switch (c) {
        case '{':
            flushBytes();
            ++pos_;
            pushGroup();
            break;
        case '}':
            flushBytes();
            popGroup();
            ++pos_;
            break;
        case '\\': {
            if (pos_ + 1 < n && d_[pos_ + 1] == '\'') {
                // hex byte: keeps runs of bytes together for double-byte code pages
                const int hi = pos_ + 2 < n ? hexValue(d_[pos_ + 2]) : -1;
                const int lo = pos_ + 3 < n ? hexValue(d_[pos_ + 3]) : -1;
                if (hi >= 0 && lo >= 0) {
                    pos_ += 4;
                    textByte(char(hi * 16 + lo));
                } else {
                    pos_ += hi >= 0 ? 3 : 2;
                    if (hi >= 0)
                        textByte(char(hi));
                }
                starPending_ = false;
                break;
            }
            flushBytes();
            wordStart_ = pos_;
            const Word w = scanControl(d_, pos_);
            handleWord(w);
            break;
        }
        case '\r':
        case '\n':
        case '\0':
            ++pos_;
            break;
        default:
            starPending_ = false;
            ++pos_;
            textByte(c);
            break;
        }
    }
    flushBytes();
    flushRun();
    if (!stack_.empty()) {
        // Braces are missing. Leaving out the last ones is what some writers do, and then every
        // word of the text has been read. But paragraphs (or \bin data past the end) in a group
        // that is not text (a font table, a skipped destination), left open at the end or closed
        // by the last brace, mean that the group's own brace is missing and the text after it
        // went into that group; and a picture or object cut off by the end is data the editor
        // cannot keep.
        if (std::any_of(stack_.begin(), stack_.end(), [](const Group& g) { return g.readWhole; }))
            cutShort_ = true; // a picture or object cut off
        const auto textless =
            std::find_if(stack_.begin(), stack_.end(), [](const Group& g) { return g.dest != Dest::Body; });
        if (textless != stack_.end() && swallowsText(d_.sliced(textless->openPos)))
            cutShort_ = true;
        qsizetype end = n;
        while (end > 0 && QByteArrayView(" \r\n\t", 4).contains(d_[end - 1]))
            --end;
        if (lastCloseAt_ == end - 1 && swallowsText(lastTextlessGroup_))
            cutShort_ = true;
    }
    // The last paragraph: its properties, or nothing when a \par ended the text before it.
    if (anyPar_ && !keepLastPar_ && cursor_.block().length() <= 1 && cursor_.blockNumber() > startBlock)
        cursor_.deletePreviousChar();
    else
        cursor_.setBlockFormat(makeBlockFormat());
    cursor_.endEditBlock();
    doc_.setUndoRedoEnabled(undo);
    return true;
}

void Reader::pushGroup()
{
    if (stack_.size() >= size_t(MaxRtfDepth)) {
        ++overflow_;
        return;
    }
    Group g;
    if (!stack_.empty()) {
        g = top();
        g.destOwner = false;
        // A group inside the font table is one font; inside a font entry, a sub-destination.
        if (g.dest == Dest::FontTable) {
            g.dest = Dest::FontEntry;
            g.destOwner = true;
        } else if (g.dest == Dest::FontEntry && fontOpen_ && d_.sliced(pos_).startsWith("\\*\\fname")) {
            // The face's real name, beside a charset-specific one ("Arial" for "Arial CYR").
            g.dest = Dest::FontRealName;
            fontRealName_.clear();
        } else if (g.dest == Dest::FontEntry || g.dest == Dest::ColorTable) {
            g.dest = Dest::Skip;
        } else if (g.dest == Dest::Upr) {
            // Of a \upr group only the Unicode part (\*\ud) is read.
            qsizetype p = pos_;
            while (p < d_.size() && (d_[p] == ' ' || d_[p] == '\r' || d_[p] == '\n'))
                ++p;
            const QByteArrayView rest = d_.sliced(p);
            if (rest.startsWith("\\*\\ud") && (rest.size() == 5 || !isLetter(rest[5])))
                g.dest = g.uprOuter;
            else
                g.dest = Dest::Skip;
        }
    }
    g.openPos = pos_ - 1;
    stack_.push_back(std::move(g));
    starPending_ = false;
    if (stack_.back().dest == Dest::Skip)
        skipToGroupEnd(d_, pos_);
}

void Reader::skipBinary(int count)
{
    if (count <= 0)
        return;
    if (count > d_.size() - pos_)
        cutShort_ = true;
    pos_ += std::min<qsizetype>(count, d_.size() - pos_);
}

void Reader::popGroup()
{
    starPending_ = false;
    if (overflow_ > 0) {
        --overflow_;
        return;
    }
    if (stack_.empty()) {
        done_ = true;
        return;
    }
    Group closing = std::move(stack_.back());
    stack_.pop_back();
    lastCloseAt_ = pos_;
    lastTextlessGroup_ = closing.dest != Dest::Body || closing.readWhole
                             ? d_.sliced(closing.openPos, pos_ + 1 - closing.openPos)
                             : QByteArrayView();
    if (stack_.empty())
        lastPara_ = closing.para;
    if (closing.destOwner) switch (closing.dest) {
    case Dest::FontEntry:
        finishFont();
        break;
    case Dest::FontTable:
        finishFont();
        break;
    case Dest::Pn:
        if (!stack_.empty())
            finishPn(top());
        break;
    case Dest::ListLevel:
        if (listLevels_.size() < 9)
            listLevels_.push_back(level_);
        break;
    case Dest::List:
        if (lists_.size() < 10000)
            lists_.insert(listId_, listLevels_);
        break;
    case Dest::ListOverride:
        if (overrideLs_ != 0)
            overrides_.insert(overrideLs_, overrideListId_);
        break;
    default:
        break;
    }
    if (stack_.empty()) {
        done_ = true;
        return;
    }
    if (!(closing.ch == top().ch) || closing.field != top().field
        || closing.fieldResult != top().fieldResult)
        charDirty_ = true;
}

void Reader::finishFont()
{
    if (!fontOpen_)
        return;
    fontOpen_ = false;
    QByteArray name = fontRealName_.trimmed().isEmpty() ? fontName_.trimmed() : fontRealName_.trimmed();
    if (name.endsWith(';'))
        name.chop(1);
    const int cp = font_.codePage >= 0 ? font_.codePage
                                       : rtf::codePageForCharset(font_.charset, documentCodePage_);
    font_.name = rtf::decodeCodePage(cp, name);
    // Control characters (also what a converter makes of bytes it cannot read) are no part of a name.
    font_.name.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    font_.name = font_.name.trimmed();
    if (!fonts_.contains(fontIndex_))
        fonts_.insert(fontIndex_, font_);
    formatCache_.clear();
    fontName_.clear();
    fontRealName_.clear();
}

void Reader::finishPn(Group& outer)
{
    RichNumbering n = pn_;
    if (n.kind != RichNumberingKind::None && n.kind != RichNumberingKind::Bullet) {
        if (n.textAfter == QLatin1String(".") && n.textBefore.isEmpty())
            n.style = RichNumberingStyle::Period;
        else if (n.textBefore == QLatin1String("(") && n.textAfter == QLatin1String(")"))
            n.style = RichNumberingStyle::Parens;
        else if (n.textAfter == QLatin1String(")"))
            n.style = RichNumberingStyle::RightParen;
        else if (n.textBefore.isEmpty() && n.textAfter.isEmpty())
            n.style = RichNumberingStyle::Plain;
    }
    outer.para.numbering = n;
}

int Reader::currentCodePage() const
{
    if (stack_.empty())
        return documentCodePage_;
    const Group& g = stack_.back();
    if (g.dest == Dest::PnTextBefore || g.dest == Dest::PnTextAfter) {
        // The bullet's own font decides (a Symbol bullet is U+00B7).
        for (auto it = fonts_.cbegin(); it != fonts_.cend(); ++it) {
            if (it->name == pn_.font && !pn_.font.isEmpty())
                return it->codePage >= 0 ? it->codePage
                                         : rtf::codePageForCharset(it->charset, documentCodePage_);
        }
    }
    const int f = g.ch.font >= 0 ? g.ch.font : defaultFont_;
    // Asked for every text byte: the answer for the last font is kept (fonts are only added).
    if (f == cpFont_ && documentCodePage_ == cpDocument_ && fonts_.size() == cpFonts_)
        return cpValue_;
    auto it = fonts_.constFind(f);
    int cp = documentCodePage_;
    if (it != fonts_.cend())
        cp = it->codePage >= 0 ? it->codePage : rtf::codePageForCharset(it->charset, documentCodePage_);
    cpFont_ = f;
    cpDocument_ = documentCodePage_;
    cpFonts_ = fonts_.size();
    cpValue_ = cp;
    return cp;
}

void Reader::textByte(char c)
{
    if (stack_.empty())
        return;
    const Dest dest = top().dest;
    switch (dest) {
    case Dest::Skip:
    case Dest::Upr:
    case Dest::List:
    case Dest::ListTable:
    case Dest::ListOverride:
    case Dest::ListLevel:
        return;
    case Dest::ColorTable:
        if (c == ';') {
            colors_.push_back(colorHas_ ? QColor(red_, green_, blue_) : QColor());
            formatCache_.clear();
            colorHas_ = false;
            red_ = green_ = blue_ = 0;
        }
        return;
    case Dest::FontRealName:
        if (c != ';' && fontRealName_.size() < 256)
            fontRealName_.append(c);
        return;
    case Dest::FontTable:
    case Dest::FontEntry:
        if (!fontOpen_)
            return;
        if (c == ';') {
            finishFont();
            return;
        }
        if (fontName_.size() < 256)
            fontName_.append(c);
        return;
    case Dest::ListLevelText:
        if (level_.text.size() < 64)
            level_.text.append(QChar(uchar(c)));
        return;
    default:
        break;
    }
    if (c == '\t') {
        flushBytes();
        appendText(QStringLiteral("\t"));
        return;
    }
    const int cp = currentCodePage();
    if (!pendingBytes_.isEmpty() && cp != pendingCodePage_)
        flushBytes();
    pendingCodePage_ = cp;
    pendingBytes_.append(c);
}

void Reader::flushBytes()
{
    if (pendingBytes_.isEmpty())
        return;
    const QString s = rtf::decodeCodePage(pendingCodePage_, pendingBytes_);
    pendingBytes_.clear();
    appendText(s);
}

void Reader::appendText(const QString& s)
{
    if (stack_.empty() || s.isEmpty())
        return;
    Group& g = top();
    switch (g.dest) {
    case Dest::Body:
        appendBodyText(s);
        break;
    case Dest::FieldInst:
        if (g.field >= 0 && size_t(g.field) < fieldInst_.size() && fieldInst_[g.field].size() < 4096) {
            fieldInst_[g.field] += s;
            fieldInst_[g.field].truncate(4096);
        }
        break;
    case Dest::PnTextBefore:
        pn_.textBefore += s;
        pn_.textBefore.truncate(64);
        break;
    case Dest::PnTextAfter:
        pn_.textAfter += s;
        pn_.textAfter.truncate(64);
        break;
    default:
        break;
    }
}

void Reader::appendBodyText(const QString& s)
{
    if (charDirty_) {
        const QTextCharFormat f = cachedCharFormat();
        if (!runFormatValid_ || f != runFormat_) {
            flushRun();
            runFormat_ = f;
            runFormatValid_ = true;
        }
        charDirty_ = false;
    }
    runText_ += s;
    cellTab_ = false;
}

void Reader::flushRun()
{
    if (runText_.isEmpty())
        return;
    // Lone surrogates (a broken \u pair) become replacement characters. NUL stays: a note read
    // from plain text may hold it, and it is saved as \'00.
    for (qsizetype i = 0; i < runText_.size(); ++i) {
        const QChar c = runText_[i];
        if (c.isHighSurrogate() && i + 1 < runText_.size() && runText_[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            runText_[i] = QChar::ReplacementCharacter;
        else if (c == QChar::ObjectReplacementCharacter || c == QChar::ParagraphSeparator)
            runText_[i] = QChar::ReplacementCharacter;
    }
    cursor_.insertText(runText_, runFormat_);
    runText_.clear();
}

QTextCharFormat Reader::cachedCharFormat()
{
    const Group& g = stack_.back();
    if (g.field >= 0 && g.fieldResult)
        return makeCharFormat();
    auto it = formatCache_.constFind(g.ch);
    if (it != formatCache_.cend())
        return *it;
    const QTextCharFormat f = makeCharFormat();
    if (formatCache_.size() < 4096)
        formatCache_.insert(g.ch, f);
    return f;
}

QTextCharFormat Reader::makeCharFormat() const
{
    const Group& g = stack_.back();
    const CharState& s = g.ch;
    RichCharProps p;
    auto it = fonts_.constFind(s.font >= 0 ? s.font : defaultFont_);
    if (it != fonts_.cend()) {
        p.face = it->name;
        p.charset = it->charset;
        p.pitch = it->pitch;
        p.family = it->family;
    }
    p.halfPoints = s.halfPoints;
    p.bold = s.bold;
    p.italic = s.italic;
    p.underline = s.underline;
    p.strike = s.strike;
    p.hidden = s.hidden;
    p.protect = s.protect;
    p.superscript = s.superscript;
    p.subscript = s.subscript;
    p.offsetHalfPoints = s.offset;
    if (s.color > 0 && size_t(s.color) < colors_.size() && colors_[s.color].isValid()) {
        p.autoColor = false;
        p.color = colors_[s.color];
    }
    if (s.highlight > 0 && size_t(s.highlight) < colors_.size() && colors_[s.highlight].isValid())
        p.highlight = colors_[s.highlight];
    QTextCharFormat f;
    setRichCharProps(f, p);
    if (g.field >= 0 && g.fieldResult && size_t(g.field) < fieldInst_.size()) {
        f.setProperty(RichProp::FieldInstruction, fieldInst_[g.field].trimmed());
        f.setProperty(RichProp::FieldId, g.field);
    }
    return f;
}

QTextBlockFormat Reader::makeBlockFormat() const
{
    QTextBlockFormat f;
    if (stack_.empty()) {
        setRichParaProps(f, lastPara_);
        return f;
    }
    setRichParaProps(f, stack_.back().para);
    return f;
}

void Reader::endParagraph()
{
    flushRun();
    anyPar_ = true;
    cellTab_ = false;
    const QTextCharFormat cf = runFormatValid_ && !charDirty_ ? runFormat_ : makeCharFormat();
    const QTextBlockFormat bf = makeBlockFormat();
    cursor_.setBlockFormat(bf);
    // An empty paragraph keeps the formatting of its mark (its line height shows it).
    if (cursor_.block().length() <= 1)
        cursor_.setBlockCharFormat(cf);
    cursor_.insertBlock(bf, cf);
}

void Reader::skipUnicodeFallback(int count)
{
    const qsizetype n = d_.size();
    while (count > 0 && pos_ < n) {
        const char c = d_[pos_];
        if (c == '{' || c == '}')
            return;
        if (c == '\\') {
            if (pos_ + 1 < n && d_[pos_ + 1] == '\'') {
                pos_ += 2;
                for (int k = 0; k < 2 && pos_ < n && hexValue(d_[pos_]) >= 0; ++k)
                    ++pos_;
            } else {
                const Word w = scanControl(d_, pos_);
                if (w.name == "bin")
                    skipBinary(w.param);
            }
            --count;
            continue;
        }
        ++pos_;
        if (c != '\r' && c != '\n')
            --count;
    }
}

QByteArray Reader::groupFromWord()
{
    // A destination word starts its group; when something came before it in the group (already
    // read as text), the group is taken from the word on.
    const qsizetype open = top().openPos;
    top().readWhole = true;
    skipToGroupEnd(d_, pos_);
    const qsizetype close = std::min(pos_ + 1, d_.size());
    // Past the depth limit the group's own start is not known: it is taken from the word on.
    bool first = overflow_ == 0;
    for (qsizetype i = open + 1; first && i < wordStart_ && i < d_.size(); ++i) {
        const char c = d_[i];
        if (c != '\r' && c != '\n') { // a blank is text already read
            first = false;
            break;
        }
    }
    if (first)
        return d_.sliced(open, close - open).toByteArray();
    return QByteArray("{") + d_.sliced(wordStart_, close - wordStart_).toByteArray();
}

void Reader::readPicture()
{
    // The group of \pict is read whole.
    const QByteArray group = groupFromWord();
    if (top().dest != Dest::Body)
        return;
    RichPicture pic;
    if (!ParseRtfPicture(group, pic))
        return;
    flushRun();
    // The picture carries the text format in force, which text typed after it takes.
    QTextCharFormat f = makeCharFormat();
    f.merge(makeRichPicture(doc_, pic));
    cursor_.insertImage(f.toImageFormat());
    cellTab_ = false;
}

void Reader::readObject()
{
    QByteArray bytes = groupFromWord();
    if (top().dest != Dest::Body)
        return;
    if (pos_ >= d_.size()) {
        // An object cut off by the end of the file is closed, when closing its groups gives one
        // whole group (not when \bin data runs past the end); otherwise it is dropped.
        const int depth = unclosedGroups(bytes);
        if (depth <= 0 || depth > MaxRtfDepth)
            return;
        bytes.append(QByteArray(depth, '}'));
        qsizetype p = 1;
        skipToGroupEnd(bytes, p);
        if (p != bytes.size() - 1)
            return;
    }
    flushRun();
    QTextCharFormat f = makeCharFormat(); // as for a picture
    f.merge(nesting_ < 4 ? makeRichObject(doc_, bytes) : makeRichObjectFormat(doc_, bytes, 0, 0, nullptr));
    cursor_.insertText(QString(QChar::ObjectReplacementCharacter), f);
    cellTab_ = false;
}

void Reader::applyList()
{
    // \lsN\ilvlM: the numbering of that list level, as a rich edit would show it.
    RichNumbering n;
    auto o = overrides_.constFind(ls_);
    const int id = o != overrides_.cend() ? *o : 0;
    auto l = lists_.constFind(id);
    ListLevelInfo lv;
    if (l != lists_.cend() && !l->empty())
        lv = (*l)[std::clamp<size_t>(size_t(std::max(ilvl_, 0)), 0, l->size() - 1)];
    else
        lv.nfc = 23;
    switch (lv.nfc) {
    case 0: n.kind = RichNumberingKind::Arabic; break;
    case 1: n.kind = RichNumberingKind::UpperRoman; break;
    case 2: n.kind = RichNumberingKind::LowerRoman; break;
    case 3: n.kind = RichNumberingKind::UpperLetter; break;
    case 4: n.kind = RichNumberingKind::LowerLetter; break;
    case 255: n.kind = RichNumberingKind::None; break;
    default: n.kind = RichNumberingKind::Bullet; break;
    }
    n.start = lv.start;
    if (n.kind == RichNumberingKind::Bullet) {
        n.textBefore = QString(QChar(0x2022));
    } else if (n.kind != RichNumberingKind::None) {
        n.textAfter = QStringLiteral(".");
        n.style = RichNumberingStyle::Period;
    }
    top().para.numbering = n;
}

bool Reader::overflowDestination(QByteArrayView name)
{
    // A group past the depth limit shares its parent's state, so its destination must leave that
    // state alone (the parent would go on as, say, a skipped group and lose the text after it).
    // Pictures and objects read their own group; groups whose content is document text are read
    // as plain content; every other destination holds no text and is stepped over.
    if (name == "pict" || name == "object")
        return false;
    if (name == "field" || name == "fldrslt" || name == "shppict" || name == "shprslt" || name == "upr"
        || name == "ud" || name == "nesttableprops")
        return true;
    skipToGroupEnd(d_, pos_);
    return true;
}

void Reader::handleDestination(QByteArrayView name, bool starred)
{
    Group& g = top();
    const Dest was = g.dest;
    auto skipGroup = [&] {
        g.dest = Dest::Skip;
        skipToGroupEnd(d_, pos_);
    };
    if (name == "fonttbl") {
        g.dest = Dest::FontTable;
    } else if (name == "colortbl") {
        g.dest = Dest::ColorTable;
        colors_.clear();
        colorHas_ = false;
        red_ = green_ = blue_ = 0;
    } else if (name == "pict") {
        readPicture();
    } else if (name == "object") {
        readObject();
    } else if (name == "field") {
        if (fieldInst_.size() < 100000) {
            g.field = int(fieldInst_.size());
            fieldInst_.emplace_back();
        }
        g.fieldResult = false;
        charDirty_ = true;
    } else if (name == "fldinst") {
        if (g.dest == Dest::Body && g.field >= 0)
            g.dest = Dest::FieldInst;
        else
            skipGroup();
    } else if (name == "fldrslt") {
        if (g.dest == Dest::Body || g.dest == Dest::FieldInst) {
            g.dest = Dest::Body;
            g.fieldResult = true;
            charDirty_ = true;
        }
    } else if (name == "pn") {
        if (g.dest == Dest::Body) {
            g.dest = Dest::Pn;
            pn_ = RichNumbering{};
            pn_.kind = RichNumberingKind::Arabic;
        } else {
            skipGroup();
        }
    } else if (name == "pntxtb") {
        if (g.dest == Dest::Pn) {
            g.dest = Dest::PnTextBefore;
            pn_.textBefore.clear();
        } else {
            skipGroup();
        }
    } else if (name == "pntxta") {
        if (g.dest == Dest::Pn) {
            g.dest = Dest::PnTextAfter;
            pn_.textAfter.clear();
        } else {
            skipGroup();
        }
    } else if (name == "listtable") {
        g.dest = Dest::ListTable;
    } else if (name == "listoverridetable") {
        g.dest = Dest::ListTable;
    } else if (name == "list" && g.dest == Dest::ListTable) {
        listLevels_.clear();
        listId_ = 0;
        g.dest = Dest::List;
    } else if (name == "listlevel" && g.dest == Dest::List) {
        g.dest = Dest::ListLevel;
        level_ = ListLevelInfo{};
    } else if (name == "leveltext" && g.dest == Dest::ListLevel) {
        g.dest = Dest::ListLevelText;
    } else if (name == "listoverride" && g.dest == Dest::ListTable) {
        g.dest = Dest::ListOverride;
        overrideListId_ = 0;
        overrideLs_ = 0;
    } else if (name == "shppict" || name == "shprslt" || name == "nesttableprops") {
        // read as ordinary content: a nested row's properties end with its \nestrow, and
        // whatever text a writer put there is text of that row
    } else if (name == "upr") {
        g.uprOuter = g.dest;
        g.dest = Dest::Upr;
    } else if (name == "ud") {
        if (stack_.size() >= 2 && stack_[stack_.size() - 2].dest == Dest::Upr)
            g.dest = stack_[stack_.size() - 2].uprOuter;
    } else if (starred || isSkippedDestination(name)) {
        skipGroup();
    }
    if (g.dest != was)
        g.destOwner = true;
}

void Reader::handleWord(const Word& w)
{
    if (stack_.empty())
        return; // words after the outermost group
    const bool starred = starPending_;
    starPending_ = false;
    Group& g = top();
    const QByteArrayView name = w.name;

    if (w.symbol) {
        if (name.isEmpty())
            return;
        switch (name[0]) {
        case '*':
            starPending_ = true;
            return;
        case '\\':
        case '{':
        case '}':
            textByte(name[0]);
            return;
        case '~':
            appendText(QString(QChar(0x00A0)));
            return;
        case '-':
            appendText(QString(QChar(0x00AD)));
            return;
        case '_':
            appendText(QString(QChar(0x2011)));
            return;
        case '\r':
        case '\n':
            if (g.dest == Dest::Body)
                endParagraph();
            return;
        case '\t':
            appendText(QStringLiteral("\t"));
            return;
        default:
            return;
        }
    }

    if (name == "bin") {
        // Binary data outside a picture is skipped, in every destination (it may hold braces).
        skipBinary(w.param);
        return;
    }

    // Destinations.
    if (g.dest == Dest::Skip || g.dest == Dest::FontRealName)
        return;
    static const QSet<QByteArray> destinations = {
        "fonttbl", "colortbl", "pict", "object", "field", "fldinst", "fldrslt", "pn", "pntxtb",
        "pntxta", "listtable", "listoverridetable", "list", "listlevel", "leveltext",
        "listoverride", "shppict", "shprslt", "upr", "ud", "nesttableprops"};
    // Every destination name is longer than one letter: \u, \b, \f... pass without a look-up.
    if (starred
        || (name.size() > 1
            && (destinations.contains(QByteArray::fromRawData(name.data(), name.size())) || isSkippedDestination(name)))) {
        // "list", "listlevel" and friends only mean something inside the list tables.
        if ((name == "list" && g.dest != Dest::ListTable)
            || (name == "listlevel" && g.dest != Dest::List)
            || (name == "listoverride" && g.dest != Dest::ListTable)) {
            if (!starred)
                return;
        }
        if (name == "leveltext" && g.dest != Dest::ListLevel) {
            g.dest = Dest::Skip;
            skipToGroupEnd(d_, pos_);
            return;
        }
        if (overflow_ > 0 && overflowDestination(name))
            return;
        handleDestination(name, starred);
        return;
    }

    const int param = w.param;
    const bool on = !w.hasParam || param != 0;

    switch (g.dest) {
    case Dest::FontTable:
    case Dest::FontEntry:
        if (name == "f") {
            finishFont();
            fontOpen_ = true;
            fontIndex_ = param;
            font_ = FontInfo{};
            fontName_.clear();
            fontRealName_.clear();
        } else if (name == "fcharset") {
            // A charset outside the byte range is none this reader knows: the font's text is
            // read in the document's code page (charset 1, the default), as for unknown ones.
            font_.charset = param >= 0 && param <= 255 ? param : 1;
        } else if (name == "cpg") {
            font_.codePage = param;
        } else if (name == "fprq") {
            font_.pitch = std::clamp(param, 0, 2);
        } else if (name == "fnil") {
            font_.family = RichFontFamily::Nil;
        } else if (name == "froman") {
            font_.family = RichFontFamily::Roman;
        } else if (name == "fswiss") {
            font_.family = RichFontFamily::Swiss;
        } else if (name == "fmodern") {
            font_.family = RichFontFamily::Modern;
        } else if (name == "fscript") {
            font_.family = RichFontFamily::Script;
        } else if (name == "fdecor") {
            font_.family = RichFontFamily::Decor;
        } else if (name == "ftech") {
            font_.family = RichFontFamily::Tech;
        } else if (name == "fbidi") {
            font_.family = RichFontFamily::Bidi;
        } else if (name == "u" && fontOpen_) {
            fontName_.append('?');
        }
        return;
    case Dest::ColorTable:
        if (name == "red") {
            red_ = std::clamp(param, 0, 255);
            colorHas_ = true;
        } else if (name == "green") {
            green_ = std::clamp(param, 0, 255);
            colorHas_ = true;
        } else if (name == "blue") {
            blue_ = std::clamp(param, 0, 255);
            colorHas_ = true;
        }
        return;
    case Dest::Pn:
        if (name == "pnlvlblt") {
            pn_.kind = RichNumberingKind::Bullet;
            pn_.level = 0;
        } else if (name == "pnlvlbody") {
            pn_.level = 0;
        } else if (name == "pnlvl") {
            pn_.level = std::clamp(param, 1, 9);
        } else if (name == "pnlvlcont") {
            pn_.kind = RichNumberingKind::None;
        } else if (name == "pndec") {
            if (pn_.kind != RichNumberingKind::Bullet)
                pn_.kind = RichNumberingKind::Arabic;
        } else if (name == "pnlcltr") {
            pn_.kind = RichNumberingKind::LowerLetter;
        } else if (name == "pnucltr") {
            pn_.kind = RichNumberingKind::UpperLetter;
        } else if (name == "pnlcrm") {
            pn_.kind = RichNumberingKind::LowerRoman;
        } else if (name == "pnucrm") {
            pn_.kind = RichNumberingKind::UpperRoman;
        } else if (name == "pnf") {
            auto it = fonts_.constFind(param);
            if (it != fonts_.cend()) {
                pn_.font = it->name;
                pn_.charset = it->charset;
            }
        } else if (name == "pnindent") {
            pn_.tab = param;
        } else if (name == "pnstart") {
            pn_.start = param;
        }
        return;
    case Dest::ListTable:
        return;
    case Dest::List:
        if (name == "listid")
            listId_ = param;
        return;
    case Dest::ListLevel:
        if (name == "levelnfc" || name == "levelnfcn")
            level_.nfc = param;
        else if (name == "levelstartat")
            level_.start = param;
        return;
    case Dest::ListOverride:
        if (name == "listid")
            overrideListId_ = param;
        else if (name == "ls")
            overrideLs_ = param;
        return;
    case Dest::ListLevelText:
    case Dest::Upr:
    case Dest::Skip:
        return;
    default:
        break;
    }

    // Unicode.
    if (name == "u") {
        if (!w.hasParam)
            return;
        const ushort unit = ushort(param < 0 ? param + 65536 : param);
        appendText(QString(QChar(unit)));
        skipUnicodeFallback(g.uc);
        return;
    }
    if (name == "uc") {
        g.uc = std::clamp(param, 0, 16);
        return;
    }
    // Text.
    auto sp = specialChars().constFind(name.toByteArray());
    if (sp != specialChars().cend()) {
        appendText(QString(*sp));
        return;
    }
    // A section break also ends the section's last paragraph.
    if (name == "par" || name == "page" || name == "sect") {
        if (g.dest == Dest::Body)
            endParagraph();
        return;
    }
    if (name == "cell" || name == "nestcell") {
        if (g.dest == Dest::Body) {
            appendText(QStringLiteral("\t"));
            cellTab_ = true;
        }
        return;
    }
    if (name == "row" || name == "nestrow") {
        if (g.dest == Dest::Body) {
            if (cellTab_) {
                if (runText_.endsWith(QLatin1Char('\t')))
                    runText_.chop(1);
                else if (runText_.isEmpty() && !cursor_.atBlockStart())
                    cursor_.deletePreviousChar();
            }
            endParagraph();
        }
        return;
    }

    // Document.
    if (name == "ansicpg") {
        if (param > 0)
            documentCodePage_ = param;
        return;
    }
    if (name == "ansi") {
        documentCodePage_ = 1252;
        return;
    }
    if (name == "mac") {
        documentCodePage_ = 10000;
        return;
    }
    if (name == "pc") {
        documentCodePage_ = 437;
        return;
    }
    if (name == "pca") {
        documentCodePage_ = 850;
        return;
    }
    if (name == "deff") {
        defaultFont_ = param;
        formatCache_.clear();
        charDirty_ = true;
        return;
    }

    // Character formatting.
    CharState& c = g.ch;
    const CharState before = c;
    if (name == "plain") {
        c = CharState{};
    } else if (name == "f") {
        c.font = param;
    } else if (name == "fs") {
        c.halfPoints = w.hasParam && param > 0 ? std::min(param, 3276) : 24;
    } else if (name == "b") {
        c.bold = on;
    } else if (name == "i") {
        c.italic = on;
    } else if (name == "strike" || name == "striked") {
        c.strike = on;
    } else if (name == "ul") {
        c.underline = on ? RichUnderlineKind::Single : RichUnderlineKind::None;
    } else if (name == "ulnone") {
        c.underline = RichUnderlineKind::None;
    } else if (name == "ulw") {
        c.underline = on ? RichUnderlineKind::Word : RichUnderlineKind::None;
    } else if (name == "uldb") {
        c.underline = on ? RichUnderlineKind::Double : RichUnderlineKind::None;
    } else if (name == "uld") {
        c.underline = on ? RichUnderlineKind::Dotted : RichUnderlineKind::None;
    } else if (name == "uldash") {
        c.underline = on ? RichUnderlineKind::Dash : RichUnderlineKind::None;
    } else if (name == "uldashd") {
        c.underline = on ? RichUnderlineKind::DashDot : RichUnderlineKind::None;
    } else if (name == "uldashdd") {
        c.underline = on ? RichUnderlineKind::DashDotDot : RichUnderlineKind::None;
    } else if (name == "ulwave" || name == "ulhwave" || name == "ululdbwave") {
        c.underline = on ? RichUnderlineKind::Wave : RichUnderlineKind::None;
    } else if (name == "ulth" || name == "ulthd" || name == "ulthdash" || name == "ulthdashd"
               || name == "ulthdashdd" || name == "ulthldash" || name == "ulldash") {
        c.underline = on ? RichUnderlineKind::Thick : RichUnderlineKind::None;
    } else if (name == "ulhair") {
        c.underline = on ? RichUnderlineKind::Hairline : RichUnderlineKind::None;
    } else if (name == "v") {
        c.hidden = on;
    } else if (name == "protect") {
        c.protect = on;
    } else if (name == "super") {
        c.superscript = on;
        if (on)
            c.subscript = false;
    } else if (name == "sub") {
        c.subscript = on;
        if (on)
            c.superscript = false;
    } else if (name == "nosupersub") {
        c.superscript = c.subscript = false;
    } else if (name == "up") {
        c.offset = w.hasParam ? std::clamp(param, -3276, 3276) : 6;
    } else if (name == "dn") {
        c.offset = -(w.hasParam ? std::clamp(param, -3276, 3276) : 6);
    } else if (name == "cf") {
        c.color = std::max(param, 0);
    } else if (name == "highlight") {
        c.highlight = std::max(param, 0);
    }
    if (!(before == c)) {
        charDirty_ = true;
        return;
    }

    // Paragraph formatting.
    RichParaProps& p = g.para;
    if (name == "pard") {
        p = RichParaProps{};
        tabKind_ = RichTabKind::Left;
        tabLeader_ = RichTabLeader::None;
        ls_ = 0;
        ilvl_ = 0;
    } else if (name == "ql") {
        p.alignment = RichAlignment::Left;
    } else if (name == "qr") {
        p.alignment = RichAlignment::Right;
    } else if (name == "qc") {
        p.alignment = RichAlignment::Center;
    } else if (name == "qj" || name == "qd") {
        p.alignment = RichAlignment::Justify;
    } else if (name == "li") {
        p.leftIndent = param;
    } else if (name == "ri") {
        p.rightIndent = param;
    } else if (name == "fi") {
        p.firstIndent = param;
    } else if (name == "sb") {
        p.spaceBefore = param;
    } else if (name == "sa") {
        p.spaceAfter = param;
    } else if (name == "sl") {
        p.lineSpacing = param;
    } else if (name == "slmult") {
        p.lineSpacingMultiple = param != 0;
    } else if (name == "tqr") {
        tabKind_ = RichTabKind::Right;
    } else if (name == "tqc") {
        tabKind_ = RichTabKind::Center;
    } else if (name == "tqdec") {
        tabKind_ = RichTabKind::Decimal;
    } else if (name == "tldot") {
        tabLeader_ = RichTabLeader::Dots;
    } else if (name == "tlhyph") {
        tabLeader_ = RichTabLeader::Hyphens;
    } else if (name == "tlul") {
        tabLeader_ = RichTabLeader::Underline;
    } else if (name == "tlth") {
        tabLeader_ = RichTabLeader::Thick;
    } else if (name == "tleq") {
        tabLeader_ = RichTabLeader::Equal;
    } else if (name == "tlmdot") {
        tabLeader_ = RichTabLeader::MiddleDots;
    } else if (name == "tx" || name == "tb") {
        if (p.tabs.size() < 64)
            p.tabs.append(RichTab{param, name == "tb" ? RichTabKind::Bar : tabKind_, tabLeader_});
        tabKind_ = RichTabKind::Left;
        tabLeader_ = RichTabLeader::None;
    } else if (name == "ls") {
        ls_ = param;
        applyList();
    } else if (name == "ilvl") {
        ilvl_ = param;
        if (ls_ != 0)
            applyList();
    }
}

} // namespace

bool ParseRtfPicture(QByteArrayView group, RichPicture& pic)
{
    pic = RichPicture{};
    pic.kind = RichPictureKind::Other;
    bool haveKind = false;
    QByteArray data;
    int nibble = -1;
    qsizetype pos = 0;
    const qsizetype n = group.size();
    int depth = 0;
    while (pos < n) {
        const char c = group[pos];
        if (c == '{') {
            ++depth;
            ++pos;
            // Sub-groups of a picture (\*\picprop, \*\blipuid ...) hold no picture data.
            if (depth > 1) {
                skipToGroupEnd(group, pos);
                --depth;
                ++pos;
            }
            continue;
        }
        if (c == '}') {
            if (--depth <= 0)
                break;
            ++pos;
            continue;
        }
        if (c == '\\') {
            const Word w = scanControl(group, pos);
            if (w.symbol)
                continue;
            const QByteArrayView nm = w.name;
            const int v = w.param;
            if (nm == "bin") {
                const qsizetype len = std::min<qsizetype>(std::max(v, 0), n - pos);
                data.append(group.sliced(pos, len));
                pos += len;
                nibble = -1;
            } else if (nm == "pngblip") {
                pic.kind = RichPictureKind::Png;
                haveKind = true;
            } else if (nm == "jpegblip") {
                pic.kind = RichPictureKind::Jpeg;
                haveKind = true;
            } else if (nm == "emfblip") {
                pic.kind = RichPictureKind::Emf;
                haveKind = true;
            } else if (nm == "wmetafile") {
                pic.kind = RichPictureKind::Wmf;
                pic.kindParam = v;
                haveKind = true;
            } else if (nm == "dibitmap") {
                pic.kind = RichPictureKind::Dib;
                pic.kindParam = v;
                haveKind = true;
            } else if (nm == "wbitmap") {
                pic.kind = RichPictureKind::Wbitmap;
                pic.kindParam = v;
                haveKind = true;
            } else if (nm == "pmmetafile") {
                pic.kind = RichPictureKind::Pmm;
                pic.kindParam = v;
                haveKind = true;
            } else if (nm == "macpict") {
                pic.kind = RichPictureKind::MacPict;
                haveKind = true;
            } else if (nm == "picw") {
                pic.width = std::max(v, 0);
            } else if (nm == "pich") {
                pic.height = std::max(v, 0);
            } else if (nm == "picwgoal") {
                pic.goalWidth = std::max(v, 0);
            } else if (nm == "pichgoal") {
                pic.goalHeight = std::max(v, 0);
            } else if (nm == "picscalex") {
                pic.scaleX = std::clamp(v, 1, 10000);
            } else if (nm == "picscaley") {
                pic.scaleY = std::clamp(v, 1, 10000);
            } else if (nm == "piccropl" || nm == "piccropr" || nm == "piccropt" || nm == "piccropb") {
                if (pic.crop.isEmpty())
                    pic.crop = {0, 0, 0, 0};
                const int i = nm == "piccropl" ? 0 : nm == "piccropr" ? 1 : nm == "piccropt" ? 2 : 3;
                pic.crop[i] = v;
            } else if (nm == "wbmbitspixel" || nm == "wbmplanes" || nm == "wbmwidthbytes") {
                if (pic.bitmapInfo.isEmpty())
                    pic.bitmapInfo = {1, 1, 0};
                const int i = nm == "wbmbitspixel" ? 0 : nm == "wbmplanes" ? 1 : 2;
                pic.bitmapInfo[i] = v;
            }
            continue;
        }
        const int h = hexValue(c);
        if (h >= 0) {
            if (nibble < 0) {
                nibble = h;
            } else {
                data.append(char(nibble * 16 + h));
                nibble = -1;
            }
        }
        ++pos;
    }
    if (!pic.crop.isEmpty() && pic.crop == QList<int>{0, 0, 0, 0})
        pic.crop.clear();
    pic.bytes = data;
    if (!haveKind) {
        // No kind word: guess from the data, as readers of old files do.
        if (data.startsWith("\x89PNG"))
            pic.kind = RichPictureKind::Png;
        else if (data.startsWith("\xFF\xD8"))
            pic.kind = RichPictureKind::Jpeg;
    }
    return !data.isEmpty();
}

QTextCharFormat makeRichObject(QTextDocument& doc, const QByteArray& groupBytes)
{
    // The object's size (\objw, \objh, \objscalex, \objscaley) and its result picture.
    const QByteArrayView d(groupBytes);
    int w = 0, h = 0, sx = 100, sy = 100;
    const RichPicture* resultPtr = nullptr;
    RichPicture result;
    qsizetype pos = 0;
    int depth = 0;
    const qsizetype n = d.size();
    while (pos < n) {
        const char c = d[pos];
        if (c == '{') {
            ++depth;
            const qsizetype open = pos;
            ++pos;
            if (depth >= 2) {
                // Sub-group: look at its first word.
                qsizetype p = pos;
                bool star = false;
                Word first;
                while (p < n && d[p] == '\\') {
                    first = scanControl(d, p);
                    if (first.symbol && first.name == "*") {
                        star = true;
                        continue;
                    }
                    break;
                }
                Q_UNUSED(star);
                if (!first.symbol && first.name == "result" && !resultPtr) {
                    // Find the first \pict inside the result.
                    qsizetype end = pos;
                    skipToGroupEnd(d, end);
                    const QByteArrayView res = d.sliced(open, std::min(end + 1, n) - open);
                    const qsizetype at = res.indexOf(QByteArrayView("\\pict"));
                    if (at > 0) {
                        qsizetype ob = at;
                        while (ob > 0 && res[ob] != '{')
                            --ob;
                        if (res[ob] == '{') {
                            qsizetype pe = at;
                            skipToGroupEnd(res, pe);
                            if (ParseRtfPicture(res.sliced(ob, std::min(pe + 1, res.size()) - ob), result))
                                resultPtr = &result;
                        }
                    }
                }
                skipToGroupEnd(d, pos);
                --depth;
                ++pos;
            }
            continue;
        }
        if (c == '}') {
            --depth;
            ++pos;
            continue;
        }
        if (c == '\\') {
            const Word wd = scanControl(d, pos);
            if (wd.name == "bin" && wd.param > 0)
                pos += std::min<qsizetype>(wd.param, n - pos);
            else if (wd.name == "objw")
                w = std::max(wd.param, 0);
            else if (wd.name == "objh")
                h = std::max(wd.param, 0);
            else if (wd.name == "objscalex")
                sx = std::clamp(wd.param, 1, 10000);
            else if (wd.name == "objscaley")
                sy = std::clamp(wd.param, 1, 10000);
            continue;
        }
        ++pos;
    }
    int wt = int(qint64(w) * sx / 100), ht = int(qint64(h) * sy / 100);
    if ((wt <= 0 || ht <= 0) && resultPtr) {
        const QSize s = richPictureTwips(result);
        wt = s.width();
        ht = s.height();
    }
    if (wt <= 0)
        wt = 1440;
    if (ht <= 0)
        ht = 1440;
    return makeRichObjectFormat(doc, groupBytes, std::min(wt, 20 * 1440), std::min(ht, 20 * 1440), resultPtr);
}

bool ReadRtf(QByteArrayView rtf, QTextDocument& doc, QString* error, bool* cutShort)
{
    doc.clear();
    Reader r(rtf, doc, 0);
    const bool ok = r.run(error);
    if (cutShort)
        *cutShort = ok && r.cutShort();
    // After reading: a layout that exists while the text goes in would lay out every step.
    installRichObjectPainter(doc);
    return ok;
}

bool ReadRtfAt(QByteArrayView rtf, QTextCursor& cursor, QString* error)
{
    if (!cursor.document())
        return false;
    QTextDocument tmp;
    Reader r(rtf, tmp, 0, true);
    if (!r.run(error))
        return false;
    QTextDocument& doc = *cursor.document();
    cursor.insertFragment(QTextDocumentFragment(&tmp));
    registerRichResources(doc);
    return true;
}

} // namespace platform
