#include "platform/richedit/RtfWriter.h"

#include "platform/richedit/RtfCodePage.h"

#include <QHash>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <optional>

namespace platform {

namespace {

constexpr int DocumentCodePage = 1251;
constexpr int DocumentCharset = 204;

// The character state as last written.
struct Written {
    int font = -1;
    int halfPoints = -1;
    bool bold = false, italic = false, strike = false, hidden = false, protect = false;
    bool superscript = false, subscript = false;
    RichUnderlineKind underline = RichUnderlineKind::None;
    int offset = 0;
    int color = 0;
    int highlight = 0;
};

struct FontEntry {
    QString face;
    int charset = DocumentCharset;
    int pitch = 0;
    RichFontFamily family = RichFontFamily::Nil;
    QByteArray written;      // the name as written in the font table
};

const char* familyWord(RichFontFamily f)
{
    switch (f) {
    case RichFontFamily::Roman: return "\\froman";
    case RichFontFamily::Swiss: return "\\fswiss";
    case RichFontFamily::Modern: return "\\fmodern";
    case RichFontFamily::Script: return "\\fscript";
    case RichFontFamily::Decor: return "\\fdecor";
    case RichFontFamily::Tech: return "\\ftech";
    case RichFontFamily::Bidi: return "\\fbidi";
    case RichFontFamily::Nil: break;
    }
    return "\\fnil";
}

const char* underlineWord(RichUnderlineKind k)
{
    switch (k) {
    case RichUnderlineKind::None: return "\\ulnone";
    case RichUnderlineKind::Word: return "\\ulw";
    case RichUnderlineKind::Double: return "\\uldb";
    case RichUnderlineKind::Dotted: return "\\uld";
    case RichUnderlineKind::Dash: return "\\uldash";
    case RichUnderlineKind::DashDot: return "\\uldashd";
    case RichUnderlineKind::DashDotDot: return "\\uldashdd";
    case RichUnderlineKind::Wave: return "\\ulwave";
    case RichUnderlineKind::Thick: return "\\ulth";
    case RichUnderlineKind::Hairline: return "\\ulhair";
    case RichUnderlineKind::Single: break;
    }
    return "\\ul";
}

QString romanNumber(int n, bool upper)
{
    if (n <= 0 || n >= 4000)
        return QString::number(n);
    static const int values[] = {1000, 900, 500, 400, 100, 90, 50, 40, 10, 9, 5, 4, 1};
    static const char* const digits[] = {"m", "cm", "d", "cd", "c", "xc", "l", "xl", "x", "ix", "v", "iv", "i"};
    QString s;
    for (int i = 0; i < 13; ++i) {
        while (n >= values[i]) {
            s += QLatin1String(digits[i]);
            n -= values[i];
        }
    }
    return upper ? s.toUpper() : s;
}

QString letterNumber(int n, bool upper)
{
    if (n <= 0)
        return QString::number(n);
    QString s;
    const QChar c(char16_t((upper ? 'A' : 'a') + (n - 1) % 26));
    s.fill(c, (n - 1) / 26 + 1);
    return s;
}

// Paragraph properties as they will read back: what is written decides, so two paragraphs that
// write the same are the same paragraph format (no needless \pard, saves that stay stable).
RichParaProps canonical(RichParaProps p)
{
    if (p.tabs.size() > 64)
        p.tabs.resize(64);
    RichNumbering& n = p.numbering;
    if (n.kind == RichNumberingKind::None) {
        n = RichNumbering{};
        return p;
    }
    if (n.font.isEmpty())
        n.charset = 1;
    else if (n.charset == 1 || n.charset < 0 || n.charset > 255)
        n.charset = DocumentCharset;
    if (n.kind == RichNumberingKind::Bullet) {
        if (n.textBefore.isEmpty())
            n.textBefore = QString(QChar(0x00B7));
        n.start = 1;
        n.level = 0;
        n.style = RichNumberingStyle::RightParen;
    } else {
        if (n.textBefore.isEmpty() && n.textAfter.isEmpty()) {
            switch (n.style) {
            case RichNumberingStyle::Parens: n.textBefore = QStringLiteral("("); n.textAfter = QStringLiteral(")"); break;
            case RichNumberingStyle::Period: n.textAfter = QStringLiteral("."); break;
            case RichNumberingStyle::RightParen: n.textAfter = QStringLiteral(")"); break;
            case RichNumberingStyle::Plain: break;
            }
        }
        n.level = std::clamp(n.level, 0, 9);
        if (n.textAfter == QLatin1String(".") && n.textBefore.isEmpty())
            n.style = RichNumberingStyle::Period;
        else if (n.textBefore == QLatin1String("(") && n.textAfter == QLatin1String(")"))
            n.style = RichNumberingStyle::Parens;
        else if (n.textAfter == QLatin1String(")"))
            n.style = RichNumberingStyle::RightParen;
        else if (n.textBefore.isEmpty() && n.textAfter.isEmpty())
            n.style = RichNumberingStyle::Plain;
    }
    n.textBefore.truncate(64);
    n.textAfter.truncate(64);
    return p;
}

class Writer {
public:
    explicit Writer(const QTextDocument& doc) : doc_(doc) {}

    QByteArray write(int start, int end, bool whole);

private:
    const QTextDocument& doc_;
    QList<FontEntry> fonts_;
    QHash<QByteArray, int> fontIndex_; // written face + charset
    QList<QRgb> colors_;
    QHash<QRgb, int> colorIndex_;
    QByteArray out_;
    bool needSpace_ = false;
    Written w_;
    QHash<int, RichCharProps> propsCache_; // by the document's format index
    RichParaProps para_;
    bool paraWritten_ = false;
    int numberCounter_ = 0;
    RichNumbering lastNumbering_;

    int fontFor(const QString& face, int charset, int pitch, RichFontFamily family);
    int colorFor(const QColor& c);
    int codePageOfFont(int font) const;
    void word(const char* w);
    void word(const char* w, int param);
    void text(QStringView s, int codePage);
    void charState(const RichCharProps& p);
    void paraState(const RichParaProps& p, const QTextBlock& block);
    void numberText(const RichParaProps& p, bool withPn);
    void fragment(const QTextFragment& f, int from, int to);
    void picture(const QTextImageFormat& f);
    QString defaultFace() const;
    std::optional<RichCharProps> firstTextProps(int start, int end, bool whole) const;
};

QString Writer::defaultFace() const
{
    const QString f = doc_.defaultFont().family();
    return f.isEmpty() ? QStringLiteral("Times New Roman") : f;
}

// A face name in the font table: printable ASCII as is, other characters as bytes of the font's
// code page, "?" for what it cannot hold (and for ";", which ends a name).
QByteArray faceBytes(const QString& faceIn, int charset)
{
    QString face = faceIn;
    face.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    face = face.trimmed();
    const int cp = rtf::codePageForCharset(charset, DocumentCodePage);
    QByteArray out;
    for (qsizetype k = 0; k < face.size() && out.size() < 1024; ++k) {
        const QChar c = face[k];
        if (c == QLatin1Char(';')) {
            out += '?';
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('{') || c == QLatin1Char('}')) {
            out += '\\';
            out += char(c.unicode());
        } else if (c.unicode() >= 0x20 && c.unicode() < 0x7F) {
            out += char(c.unicode());
        } else {
            const QByteArray b = rtf::encodeCodePage(cp, face.sliced(k, 1));
            if (b.isEmpty()) {
                out += '?';
            } else {
                for (char x : b)
                    out += "\\'" + QByteArray(1, x).toHex();
            }
        }
    }
    return out;
}

int Writer::fontFor(const QString& faceIn, int charset, int pitch, RichFontFamily family)
{
    const QString face = faceIn.isEmpty() ? defaultFace() : faceIn;
    if (charset == 1 || charset < 0 || charset > 255)
        charset = DocumentCharset;
    // Faces are told apart by what is written: two names that write the same are one font.
    const QByteArray written = faceBytes(face, charset);
    const QByteArray key = written + '\0' + QByteArray::number(charset);
    auto it = fontIndex_.constFind(key);
    if (it != fontIndex_.cend())
        return *it;
    const int i = int(fonts_.size());
    fonts_.append(FontEntry{face, charset, pitch, family, written});
    fontIndex_.insert(key, i);
    return i;
}

int Writer::colorFor(const QColor& c)
{
    const QRgb rgb = qRgb(c.red(), c.green(), c.blue());
    auto it = colorIndex_.constFind(rgb);
    if (it != colorIndex_.cend())
        return *it;
    colors_.append(rgb);
    const int i = int(colors_.size()); // entry 0 is "auto"
    colorIndex_.insert(rgb, i);
    return i;
}

int Writer::codePageOfFont(int font) const
{
    if (font < 0 || font >= fonts_.size())
        return DocumentCodePage;
    return rtf::codePageForCharset(fonts_[font].charset, DocumentCodePage);
}

void Writer::word(const char* w)
{
    out_.append(w);
    needSpace_ = true;
}

void Writer::word(const char* w, int param)
{
    out_.append(w);
    out_.append(QByteArray::number(param));
    needSpace_ = true;
}

void Writer::text(QStringView s, int codePage)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        const ushort u = c.unicode();
        switch (u) {
        case '\t': word("\\tab"); continue;
        case 0x2028: word("\\line"); continue;
        case 0x00A0: out_.append("\\~"); needSpace_ = false; continue;
        case 0x00AD: out_.append("\\-"); needSpace_ = false; continue;
        case 0x2011: out_.append("\\_"); needSpace_ = false; continue;
        case 0:
            // NUL as the byte 00, NUL in every code page; not every reader takes \u0 as a character.
            out_.append("\\'00");
            needSpace_ = false;
            continue;
        case '\\': case '{': case '}':
            out_.append('\\');
            out_.append(char(u));
            needSpace_ = false;
            continue;
        default: break;
        }
        if (u >= 0x20 && u < 0x7F) {
            if (needSpace_)
                out_.append(' ');
            needSpace_ = false;
            out_.append(char(u));
            continue;
        }
        // Everything else: \uN and the byte of the run's code page (or "?").
        out_.append("\\u");
        out_.append(QByteArray::number(int(qint16(u))));
        QByteArray fb;
        if (!c.isSurrogate() && u >= 0x20)
            fb = rtf::encodeCodePage(codePage, s.sliced(i, 1));
        if (fb.size() == 1 && uchar(fb[0]) >= 0x80) {
            out_.append("\\'");
            out_.append(QByteArray(1, fb[0]).toHex());
        } else if (fb.size() == 1 && fb[0] >= 0x20 && fb[0] < 0x7F && fb[0] != '\\' && fb[0] != '{'
                   && fb[0] != '}') {
            out_.append(fb[0]);
        } else {
            out_.append('?');
        }
        needSpace_ = false;
    }
}

void Writer::charState(const RichCharProps& p)
{
    const int font = fontFor(p.face, p.charset, p.pitch, p.family);
    if (font != w_.font) {
        word("\\f", font);
        w_.font = font;
    }
    if (p.halfPoints != w_.halfPoints) {
        word("\\fs", p.halfPoints);
        w_.halfPoints = p.halfPoints;
    }
    if (p.bold != w_.bold)
        word(p.bold ? "\\b" : "\\b0");
    if (p.italic != w_.italic)
        word(p.italic ? "\\i" : "\\i0");
    if (p.underline != w_.underline)
        word(underlineWord(p.underline));
    if (p.strike != w_.strike)
        word(p.strike ? "\\strike" : "\\strike0");
    if (p.hidden != w_.hidden)
        word(p.hidden ? "\\v" : "\\v0");
    if (p.protect != w_.protect)
        word(p.protect ? "\\protect" : "\\protect0");
    if (p.superscript != w_.superscript || p.subscript != w_.subscript)
        word(p.superscript ? "\\super" : p.subscript ? "\\sub" : "\\nosupersub");
    if (p.offsetHalfPoints != w_.offset) {
        if (p.offsetHalfPoints >= 0)
            word("\\up", p.offsetHalfPoints);
        else
            word("\\dn", -p.offsetHalfPoints);
    }
    const int color = p.autoColor || !p.color.isValid() ? 0 : colorFor(p.color);
    if (color != w_.color)
        word("\\cf", color);
    const int hl = p.highlight.isValid() ? colorFor(p.highlight) : 0;
    if (hl != w_.highlight)
        word("\\highlight", hl);
    w_.bold = p.bold;
    w_.italic = p.italic;
    w_.underline = p.underline;
    w_.strike = p.strike;
    w_.hidden = p.hidden;
    w_.protect = p.protect;
    w_.superscript = p.superscript;
    w_.subscript = p.subscript;
    w_.offset = p.offsetHalfPoints;
    w_.color = color;
    w_.highlight = hl;
}

void Writer::numberText(const RichParaProps& p, bool withPn)
{
    const RichNumbering& n = p.numbering;
    if (n.kind == RichNumberingKind::None)
        return;
    // {\pntext ...}: what a reader without numbering shows; the number itself comes from \pn.
    QString before = n.textBefore, after = n.textAfter;
    if (n.kind == RichNumberingKind::Bullet) {
        if (before.isEmpty())
            before = QString(QChar(0x00B7));
    } else if (before.isEmpty() && after.isEmpty()) {
        switch (n.style) {
        case RichNumberingStyle::Parens: before = QStringLiteral("("); after = QStringLiteral(")"); break;
        case RichNumberingStyle::Period: after = QStringLiteral("."); break;
        case RichNumberingStyle::Plain: break;
        case RichNumberingStyle::RightParen: after = QStringLiteral(")"); break;
        }
    }
    const int value = n.start + numberCounter_;
    QString number;
    switch (n.kind) {
    case RichNumberingKind::Arabic: number = QString::number(value); break;
    case RichNumberingKind::LowerLetter: number = letterNumber(value, false); break;
    case RichNumberingKind::UpperLetter: number = letterNumber(value, true); break;
    case RichNumberingKind::LowerRoman: number = romanNumber(value, false); break;
    case RichNumberingKind::UpperRoman: number = romanNumber(value, true); break;
    default: break;
    }
    const int font = n.font.isEmpty() ? -1 : fontFor(n.font, n.charset, 0, RichFontFamily::Nil);
    out_.append("{\\pntext");
    needSpace_ = true;
    if (font >= 0)
        word("\\f", font);
    text(before + number + after, font >= 0 ? codePageOfFont(font) : codePageOfFont(w_.font));
    word("\\tab");
    out_.append('}');
    needSpace_ = false;
    if (!withPn)
        return;

    out_.append("{\\*\\pn");
    if (n.kind == RichNumberingKind::Bullet) {
        out_.append("\\pnlvlblt");
    } else {
        if (n.level > 0)
            word("\\pnlvl", n.level);
        else
            out_.append("\\pnlvlbody");
        switch (n.kind) {
        case RichNumberingKind::LowerLetter: out_.append("\\pnlcltr"); break;
        case RichNumberingKind::UpperLetter: out_.append("\\pnucltr"); break;
        case RichNumberingKind::LowerRoman: out_.append("\\pnlcrm"); break;
        case RichNumberingKind::UpperRoman: out_.append("\\pnucrm"); break;
        default: out_.append("\\pndec"); break;
        }
    }
    needSpace_ = true;
    if (font >= 0)
        word("\\pnf", font);
    word("\\pnindent", n.tab);
    if (n.kind != RichNumberingKind::Bullet)
        word("\\pnstart", n.start);
    const int cp = font >= 0 ? codePageOfFont(font) : codePageOfFont(w_.font);
    if (!before.isEmpty()) {
        out_.append("{\\pntxtb");
        needSpace_ = true;
        text(before, cp);
        out_.append('}');
    }
    if (!after.isEmpty()) {
        out_.append("{\\pntxta");
        needSpace_ = true;
        text(after, cp);
        out_.append('}');
    }
    out_.append('}');
    needSpace_ = false;
}

void Writer::paraState(const RichParaProps& p, const QTextBlock&)
{
    const bool numbered = p.numbering.kind != RichNumberingKind::None;
    if (numbered && p.numbering == lastNumbering_)
        ++numberCounter_;
    else
        numberCounter_ = 0;
    lastNumbering_ = p.numbering;

    if (paraWritten_ && p == para_) {
        // The same properties go on: only the number's text.
        if (numbered)
            numberText(p, false);
        return;
    }
    para_ = p;
    paraWritten_ = true;
    word("\\pard");
    if (numbered)
        numberText(p, true);
    switch (p.alignment) {
    case RichAlignment::Right: word("\\qr"); break;
    case RichAlignment::Center: word("\\qc"); break;
    case RichAlignment::Justify: word("\\qj"); break;
    case RichAlignment::Left: break;
    }
    if (p.firstIndent)
        word("\\fi", p.firstIndent);
    if (p.leftIndent)
        word("\\li", p.leftIndent);
    if (p.rightIndent)
        word("\\ri", p.rightIndent);
    if (p.spaceBefore)
        word("\\sb", p.spaceBefore);
    if (p.spaceAfter)
        word("\\sa", p.spaceAfter);
    if (p.lineSpacing) {
        word("\\sl", p.lineSpacing);
        word("\\slmult", p.lineSpacingMultiple ? 1 : 0);
    }
    for (const RichTab& t : p.tabs) {
        switch (t.kind) {
        case RichTabKind::Center: word("\\tqc"); break;
        case RichTabKind::Right: word("\\tqr"); break;
        case RichTabKind::Decimal: word("\\tqdec"); break;
        default: break;
        }
        switch (t.leader) {
        case RichTabLeader::Dots: word("\\tldot"); break;
        case RichTabLeader::Hyphens: word("\\tlhyph"); break;
        case RichTabLeader::Underline: word("\\tlul"); break;
        case RichTabLeader::Thick: word("\\tlth"); break;
        case RichTabLeader::Equal: word("\\tleq"); break;
        case RichTabLeader::MiddleDots: word("\\tlmdot"); break;
        case RichTabLeader::None: break;
        }
        word(t.kind == RichTabKind::Bar ? "\\tb" : "\\tx", t.position);
    }
}

void Writer::picture(const QTextImageFormat& f)
{
    RichPicture p;
    if (f.hasProperty(RichProp::PictureBytes)) {
        p = richPicture(f);
    } else {
        // A picture that came without its bytes (pasted from elsewhere): its image as PNG.
        const QImage img = doc_.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
        if (img.isNull())
            return;
        p = richPictureFromImage(img);
        if (f.width() > 0)
            p.goalWidth = richPixelsToTwips(f.width());
        if (f.height() > 0)
            p.goalHeight = richPixelsToTwips(f.height());
    }
    out_.append("{\\pict");
    needSpace_ = true;
    switch (p.kind) {
    case RichPictureKind::Png: word("\\pngblip"); break;
    case RichPictureKind::Jpeg: word("\\jpegblip"); break;
    case RichPictureKind::Emf: word("\\emfblip"); break;
    case RichPictureKind::Wmf: word("\\wmetafile", p.kindParam ? p.kindParam : 8); break;
    case RichPictureKind::Dib: word("\\dibitmap", p.kindParam); break;
    case RichPictureKind::Wbitmap: word("\\wbitmap", p.kindParam); break;
    case RichPictureKind::Pmm: word("\\pmmetafile", p.kindParam); break;
    case RichPictureKind::MacPict: word("\\macpict"); break;
    case RichPictureKind::Other: break;
    }
    if (p.scaleX != 100)
        word("\\picscalex", p.scaleX);
    if (p.scaleY != 100)
        word("\\picscaley", p.scaleY);
    if (p.crop.size() == 4) {
        word("\\piccropl", p.crop[0]);
        word("\\piccropr", p.crop[1]);
        word("\\piccropt", p.crop[2]);
        word("\\piccropb", p.crop[3]);
    }
    if (p.bitmapInfo.size() == 3) {
        word("\\wbmbitspixel", p.bitmapInfo[0]);
        word("\\wbmplanes", p.bitmapInfo[1]);
        word("\\wbmwidthbytes", p.bitmapInfo[2]);
    }
    word("\\picw", p.width);
    word("\\pich", p.height);
    if (p.goalWidth)
        word("\\picwgoal", p.goalWidth);
    if (p.goalHeight)
        word("\\pichgoal", p.goalHeight);
    out_.append("\r\n");
    const QByteArray hex = p.bytes.toHex();
    for (qsizetype i = 0; i < hex.size(); i += 128) {
        out_.append(hex.constData() + i, std::min<qsizetype>(128, hex.size() - i));
        out_.append("\r\n");
    }
    out_.append('}');
    needSpace_ = false;
}

void Writer::fragment(const QTextFragment& f, int from, int to)
{
    const QTextCharFormat cf = f.charFormat();
    const QString t = f.text().mid(from - f.position(), to - from);
    if (cf.isImageFormat()) {
        const QTextImageFormat img = cf.toImageFormat();
        for (qsizetype i = 0; i < t.size(); ++i)
            picture(img);
        return;
    }
    if (isRichObject(cf)) {
        const QByteArray bytes = cf.property(RichProp::ObjectBytes).toByteArray();
        for (qsizetype i = 0; i < t.size(); ++i) {
            out_.append(bytes);
            needSpace_ = false;
        }
        return;
    }
    auto cached = propsCache_.constFind(f.charFormatIndex());
    if (cached == propsCache_.cend())
        cached = propsCache_.insert(f.charFormatIndex(), richCharProps(cf));
    charState(*cached);
    QString s = t;
    s.replace(QChar::ObjectReplacementCharacter, QChar::ReplacementCharacter);
    text(s, codePageOfFont(w_.font));
}

// The format of the first text written (a run, or the mark of a paragraph without one), walking
// the range as write does; pictures, objects and bullets are not text.
std::optional<RichCharProps> Writer::firstTextProps(int start, int end, bool whole) const
{
    for (QTextBlock block = doc_.findBlock(start); block.isValid() && block.position() <= end;
         block = block.next()) {
        const int bStart = block.position();
        const int bEnd = bStart + block.length() - 1;
        if (!whole && bStart >= end && bStart > start)
            break;
        bool anyText = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (std::max(frag.position(), start) >= std::min(frag.position() + frag.length(), end))
                continue;
            anyText = true;
            const QTextCharFormat cf = frag.charFormat();
            if (!cf.isImageFormat() && !isRichObject(cf))
                return richCharProps(cf);
        }
        if (!anyText && (whole || bEnd < end))
            return richCharProps(block.charFormat());
    }
    return std::nullopt;
}

QByteArray Writer::write(int start, int end, bool whole)
{
    // \deff0 names the first text font, even when a bullet's font (Symbol) is written before it.
    if (const auto first = firstTextProps(start, end, whole))
        fontFor(first->face, first->charset, first->pitch, first->family);
    QTextBlock block = doc_.findBlock(start);
    while (block.isValid() && block.position() <= end) {
        const int bStart = block.position();
        const int bEnd = bStart + block.length() - 1; // position of the paragraph mark
        if (!whole && bStart >= end && bStart > start)
            break;
        paraState(canonical(richParaProps(block.blockFormat())), block);
        bool anyText = false;
        // Runs, fields grouped.
        QString openField;
        int openFieldId = -1;
        Written beforeField;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const int fs = std::max(frag.position(), start);
            const int fe = std::min(frag.position() + frag.length(), end);
            if (fs >= fe)
                continue;
            anyText = true;
            const QTextCharFormat cf = frag.charFormat();
            const QString inst = cf.stringProperty(RichProp::FieldInstruction);
            const int fid = cf.hasProperty(RichProp::FieldId) ? cf.intProperty(RichProp::FieldId) : -1;
            if (!openField.isEmpty() && (inst != openField || fid != openFieldId)) {
                out_.append("}}}");
                needSpace_ = false;
                w_ = beforeField;
                openField.clear();
                openFieldId = -1;
            }
            if (!inst.isEmpty() && openField.isEmpty()) {
                beforeField = w_;
                out_.append("{\\field{\\*\\fldinst{");
                needSpace_ = false;
                text(inst, DocumentCodePage);
                out_.append("}}{\\fldrslt{");
                needSpace_ = false;
                openField = inst;
                openFieldId = fid;
            }
            fragment(frag, fs, fe);
        }
        if (!openField.isEmpty()) {
            out_.append("}}}");
            needSpace_ = false;
            w_ = beforeField;
        }
        const bool markIncluded = whole || bEnd < end;
        if (markIncluded) {
            if (!anyText)
                charState(richCharProps(block.charFormat()));
            word("\\par");
            out_.append("\r\n");
            needSpace_ = false;
        }
        block = block.next();
    }

    QByteArray head = "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl";
    if (fonts_.isEmpty())
        fontFor(QString(), DocumentCharset, 0, RichFontFamily::Nil);
    for (qsizetype i = 0; i < fonts_.size(); ++i) {
        const FontEntry& f = fonts_[i];
        head += "{\\f" + QByteArray::number(i) + familyWord(f.family);
        if (f.pitch)
            head += "\\fprq" + QByteArray::number(f.pitch);
        head += "\\fcharset" + QByteArray::number(f.charset) + ' ';
        head += f.written;
        head += ";}";
    }
    head += "}\r\n{\\colortbl ;";
    for (QRgb c : colors_)
        head += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) + "\\blue"
                + QByteArray::number(qBlue(c)) + ';';
    head += "}\r\n\\viewkind4\\uc1";
    if (!out_.startsWith('\\') && !out_.startsWith('{') && !out_.isEmpty())
        head += ' ';
    head += out_;
    head += "}\r\n";
    return head;
}

} // namespace

QByteArray WriteRtf(const QTextDocument& doc)
{
    Writer w(doc);
    return w.write(0, doc.characterCount() - 1, true);
}

QByteArray WriteRtf(const QTextCursor& selection)
{
    const QTextDocument* doc = selection.document();
    if (!doc) {
        QTextDocument empty;
        return WriteRtf(empty);
    }
    Writer w(*doc);
    return w.write(selection.selectionStart(), selection.selectionEnd(), false);
}

} // namespace platform
