#include "platform/richedit/RichFormat.h"

#include "platform/richedit/JpegImage.h"
#include "platform/richedit/RtfReader.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCryptographicHash>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <QtEndian>

#include <algorithm>

namespace platform {

namespace {

int intProp(const QTextFormat& f, int id, int dflt)
{
    return f.hasProperty(id) ? f.intProperty(id) : dflt;
}

QList<int> intListProp(const QTextFormat& f, int id)
{
    const QVariant v = f.property(id);
    if (v.canConvert<QList<int>>())
        return v.value<QList<int>>();
    return {};
}

Qt::Alignment qtAlignment(RichAlignment a)
{
    switch (a) {
    case RichAlignment::Right: return Qt::AlignRight | Qt::AlignAbsolute;
    case RichAlignment::Center: return Qt::AlignHCenter;
    case RichAlignment::Justify: return Qt::AlignJustify;
    case RichAlignment::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignAbsolute;
}

RichAlignment richAlignmentOf(Qt::Alignment a)
{
    if (a & Qt::AlignJustify)
        return RichAlignment::Justify;
    if (a & Qt::AlignHCenter)
        return RichAlignment::Center;
    if (a & Qt::AlignRight)
        return RichAlignment::Right;
    return RichAlignment::Left;
}

QTextCharFormat::UnderlineStyle qtUnderline(RichUnderlineKind k)
{
    switch (k) {
    case RichUnderlineKind::None: return QTextCharFormat::NoUnderline;
    case RichUnderlineKind::Dotted: return QTextCharFormat::DotLine;
    case RichUnderlineKind::Dash: return QTextCharFormat::DashUnderline;
    case RichUnderlineKind::DashDot: return QTextCharFormat::DashDotLine;
    case RichUnderlineKind::DashDotDot: return QTextCharFormat::DashDotDotLine;
    case RichUnderlineKind::Wave: return QTextCharFormat::WaveUnderline;
    default: return QTextCharFormat::SingleUnderline;
    }
}

} // namespace

// ---- paragraph line spacing in the rich edit's terms --------------------------------------------

int RichParaProps::lineSpacingRule() const
{
    if (lineSpacing == 0)
        return 0;
    if (lineSpacingMultiple) {
        if (lineSpacing == 360)
            return 1;
        if (lineSpacing == 480)
            return 2;
        return 5;
    }
    return lineSpacing > 0 ? 3 : 4;
}

int RichParaProps::lineSpacingValue() const
{
    switch (lineSpacingRule()) {
    case 3: return lineSpacing;
    case 4: return -lineSpacing;
    case 5: return lineSpacing / 12;
    default: return 0;
    }
}

void RichParaProps::setLineSpacingRule(int rule, int value)
{
    switch (rule) {
    case 1: lineSpacing = 360; lineSpacingMultiple = true; break;
    case 2: lineSpacing = 480; lineSpacingMultiple = true; break;
    case 3: lineSpacing = std::abs(value); lineSpacingMultiple = false; break;
    case 4: lineSpacing = -std::abs(value); lineSpacingMultiple = false; break;
    case 5: lineSpacing = value * 12; lineSpacingMultiple = true; break;
    default: lineSpacing = 0; lineSpacingMultiple = false; break;
    }
}

// ---- character properties ----------------------------------------------------------------------

RichCharProps richCharProps(const QTextCharFormat& f)
{
    RichCharProps p;
    const QStringList fam = f.fontFamilies().toStringList();
    p.face = fam.isEmpty() ? QString() : fam.first();
    p.charset = intProp(f, RichProp::Charset, 1);
    p.pitch = intProp(f, RichProp::Pitch, f.fontFixedPitch() ? 1 : 0);
    p.family = RichFontFamily(intProp(f, RichProp::FamilyKind, 0));
    if (f.hasProperty(RichProp::HalfPoints))
        p.halfPoints = f.intProperty(RichProp::HalfPoints);
    else if (f.hasProperty(QTextFormat::FontPointSize) && f.fontPointSize() > 0)
        p.halfPoints = int(f.fontPointSize() * 2 + 0.5);
    p.bold = f.fontWeight() >= QFont::DemiBold;
    p.italic = f.fontItalic();
    if (f.hasProperty(RichProp::Underline))
        p.underline = RichUnderlineKind(f.intProperty(RichProp::Underline));
    else if (f.fontUnderline() || f.underlineStyle() != QTextCharFormat::NoUnderline)
        p.underline = RichUnderlineKind::Single;
    p.strike = f.fontStrikeOut();
    p.hidden = f.boolProperty(RichProp::Hidden);
    p.protect = f.boolProperty(RichProp::Protected);
    p.disabled = f.boolProperty(RichProp::Disabled);
    p.superscript = f.verticalAlignment() == QTextCharFormat::AlignSuperScript;
    p.subscript = f.verticalAlignment() == QTextCharFormat::AlignSubScript;
    p.offsetHalfPoints = intProp(f, RichProp::OffsetHalfPoints, 0);
    const bool hasColor = f.hasProperty(QTextFormat::ForegroundBrush)
                          && f.foreground().style() != Qt::NoBrush;
    p.autoColor = f.hasProperty(RichProp::AutoColor) ? f.boolProperty(RichProp::AutoColor) : !hasColor;
    if (!p.autoColor && hasColor)
        p.color = f.foreground().color();
    else if (!p.autoColor)
        p.autoColor = true;
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        p.highlight = f.background().color();
    return p;
}

void setRichFace(QTextCharFormat& f, const QString& face, int charset, int pitch, RichFontFamily family)
{
    if (!face.isEmpty())
        f.setFontFamilies(QStringList{face});
    f.setProperty(RichProp::Charset, charset);
    f.setProperty(RichProp::Pitch, pitch);
    f.setProperty(RichProp::FamilyKind, int(family));
    f.setFontFixedPitch(pitch == 1);
}

void setRichCharset(QTextCharFormat& f, int charset) { f.setProperty(RichProp::Charset, charset); }

void setRichHalfPoints(QTextCharFormat& f, int halfPoints)
{
    halfPoints = std::clamp(halfPoints, 1, 3276);
    f.setProperty(RichProp::HalfPoints, halfPoints);
    f.setFontPointSize(halfPoints / 2.0);
}

void setRichUnderline(QTextCharFormat& f, RichUnderlineKind kind)
{
    f.setProperty(RichProp::Underline, int(kind));
    f.setUnderlineStyle(qtUnderline(kind));
}

void setRichHidden(QTextCharFormat& f, bool on) { f.setProperty(RichProp::Hidden, on); }
void setRichProtected(QTextCharFormat& f, bool on) { f.setProperty(RichProp::Protected, on); }
void setRichDisabled(QTextCharFormat& f, bool on) { f.setProperty(RichProp::Disabled, on); }

void setRichColor(QTextCharFormat& f, const QColor& c)
{
    if (c.isValid()) {
        f.setProperty(RichProp::AutoColor, false);
        f.setForeground(QColor(c.red(), c.green(), c.blue()));
    } else {
        f.setProperty(RichProp::AutoColor, true);
        f.clearForeground();
    }
}

void setRichHighlight(QTextCharFormat& f, const QColor& c)
{
    if (c.isValid())
        f.setBackground(QColor(c.red(), c.green(), c.blue()));
    else
        f.setBackground(Qt::NoBrush);
}

void setRichOffset(QTextCharFormat& f, int halfPoints)
{
    f.setProperty(RichProp::OffsetHalfPoints, halfPoints);
    const int size = intProp(f, RichProp::HalfPoints, 24);
    f.setBaselineOffset(size > 0 ? 100.0 * halfPoints / size : 0.0);
}

void setRichCharProps(QTextCharFormat& f, const RichCharProps& p)
{
    setRichFace(f, p.face, p.charset, p.pitch, p.family);
    setRichHalfPoints(f, p.halfPoints);
    f.setFontWeight(p.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(p.italic);
    setRichUnderline(f, p.underline);
    f.setFontStrikeOut(p.strike);
    setRichHidden(f, p.hidden);
    setRichProtected(f, p.protect);
    setRichDisabled(f, p.disabled);
    f.setVerticalAlignment(p.superscript ? QTextCharFormat::AlignSuperScript
                           : p.subscript ? QTextCharFormat::AlignSubScript
                                         : QTextCharFormat::AlignNormal);
    setRichOffset(f, p.offsetHalfPoints);
    setRichColor(f, p.autoColor ? QColor() : p.color);
    setRichHighlight(f, p.highlight);
}

// ---- paragraph properties ----------------------------------------------------------------------

RichParaProps richParaProps(const QTextBlockFormat& f)
{
    RichParaProps p;
    p.alignment = richAlignmentOf(f.alignment());
    p.leftIndent = intProp(f, RichProp::LeftIndent, richPixelsToTwips(f.leftMargin()));
    p.firstIndent = intProp(f, RichProp::FirstIndent, richPixelsToTwips(f.textIndent()));
    p.rightIndent = intProp(f, RichProp::RightIndent, richPixelsToTwips(f.rightMargin()));
    p.spaceBefore = intProp(f, RichProp::SpaceBefore, richPixelsToTwips(f.topMargin()));
    p.spaceAfter = intProp(f, RichProp::SpaceAfter, richPixelsToTwips(f.bottomMargin()));
    p.lineSpacing = intProp(f, RichProp::LineSpacing, 0);
    p.lineSpacingMultiple = f.boolProperty(RichProp::LineSpacingMultiple);
    const QList<int> t = intListProp(f, RichProp::Tabs);
    for (qsizetype i = 0; i + 2 < t.size(); i += 3)
        p.tabs.append(RichTab{t[i], RichTabKind(t[i + 1]), RichTabLeader(t[i + 2])});
    p.numbering.kind = RichNumberingKind(intProp(f, RichProp::Numbering, 0));
    p.numbering.start = intProp(f, RichProp::NumberingStart, 1);
    p.numbering.tab = intProp(f, RichProp::NumberingTab, 0);
    p.numbering.style = RichNumberingStyle(intProp(f, RichProp::NumberingStyle, 0));
    p.numbering.font = f.stringProperty(RichProp::NumberingFont);
    p.numbering.charset = intProp(f, RichProp::NumberingCharset, 1);
    p.numbering.textBefore = f.stringProperty(RichProp::NumberingTextBefore);
    p.numbering.textAfter = f.stringProperty(RichProp::NumberingTextAfter);
    p.numbering.level = intProp(f, RichProp::NumberingLevel, 0);
    // Values that mean nothing are not told apart: no spacing is single spacing, and a paragraph
    // without numbering has no numbering details.
    if (p.lineSpacing == 0)
        p.lineSpacingMultiple = false;
    if (p.numbering.kind == RichNumberingKind::None)
        p.numbering = RichNumbering{};
    return p;
}

void setRichAlignment(QTextBlockFormat& f, RichAlignment a) { f.setAlignment(qtAlignment(a)); }

void setRichIndents(QTextBlockFormat& f, int leftIndent, int firstIndent, int rightIndent)
{
    f.setProperty(RichProp::LeftIndent, leftIndent);
    f.setProperty(RichProp::FirstIndent, firstIndent);
    f.setProperty(RichProp::RightIndent, rightIndent);
    f.setLeftMargin(richTwipsToPixels(leftIndent));
    f.setTextIndent(richTwipsToPixels(firstIndent));
    f.setRightMargin(richTwipsToPixels(rightIndent));
}

void setRichSpacing(QTextBlockFormat& f, int before, int after)
{
    f.setProperty(RichProp::SpaceBefore, before);
    f.setProperty(RichProp::SpaceAfter, after);
    f.setTopMargin(richTwipsToPixels(before));
    f.setBottomMargin(richTwipsToPixels(after));
}

void setRichLineSpacing(QTextBlockFormat& f, int sl, bool multiple)
{
    f.setProperty(RichProp::LineSpacing, sl);
    f.setProperty(RichProp::LineSpacingMultiple, multiple);
    if (sl == 0)
        f.setLineHeight(100, QTextBlockFormat::SingleHeight);
    else if (multiple)
        f.setLineHeight(std::clamp(sl * 100.0 / 240.0, 10.0, 1000.0), QTextBlockFormat::ProportionalHeight);
    else if (sl > 0)
        f.setLineHeight(richTwipsToPixels(sl), QTextBlockFormat::MinimumHeight);
    else
        f.setLineHeight(richTwipsToPixels(-sl), QTextBlockFormat::FixedHeight);
}

void setRichTabs(QTextBlockFormat& f, const QList<RichTab>& tabs)
{
    QList<int> packed;
    QList<QTextOption::Tab> qtabs;
    for (const RichTab& t : tabs) {
        packed << t.position << int(t.kind) << int(t.leader);
        QTextOption::TabType type = QTextOption::LeftTab;
        QChar delim;
        if (t.kind == RichTabKind::Center)
            type = QTextOption::CenterTab;
        else if (t.kind == RichTabKind::Right)
            type = QTextOption::RightTab;
        else if (t.kind == RichTabKind::Decimal) {
            type = QTextOption::DelimiterTab;
            delim = QLatin1Char('.');
        }
        if (t.kind != RichTabKind::Bar)
            qtabs.append(QTextOption::Tab(richTwipsToPixels(t.position), type, delim));
    }
    if (packed.isEmpty()) {
        f.clearProperty(RichProp::Tabs);
        f.clearProperty(QTextFormat::TabPositions);
    } else {
        f.setProperty(RichProp::Tabs, QVariant::fromValue(packed));
        f.setTabPositions(qtabs);
    }
}

void setRichNumbering(QTextBlockFormat& f, const RichNumbering& n)
{
    f.setProperty(RichProp::Numbering, int(n.kind));
    f.setProperty(RichProp::NumberingStart, n.start);
    f.setProperty(RichProp::NumberingTab, n.tab);
    f.setProperty(RichProp::NumberingStyle, int(n.style));
    f.setProperty(RichProp::NumberingFont, n.font);
    f.setProperty(RichProp::NumberingCharset, n.charset);
    f.setProperty(RichProp::NumberingTextBefore, n.textBefore);
    f.setProperty(RichProp::NumberingTextAfter, n.textAfter);
    f.setProperty(RichProp::NumberingLevel, n.level);
}

void setRichParaProps(QTextBlockFormat& f, const RichParaProps& p)
{
    setRichAlignment(f, p.alignment);
    setRichIndents(f, p.leftIndent, p.firstIndent, p.rightIndent);
    setRichSpacing(f, p.spaceBefore, p.spaceAfter);
    setRichLineSpacing(f, p.lineSpacing, p.lineSpacingMultiple);
    setRichTabs(f, p.tabs);
    setRichNumbering(f, p.numbering);
}

static QString richNumberString(RichNumberingKind kind, int n)
{
    auto roman = [](int v, bool upper) {
        if (v <= 0 || v >= 4000)
            return QString::number(v);
        static const int values[] = {1000, 900, 500, 400, 100, 90, 50, 40, 10, 9, 5, 4, 1};
        static const char* const digits[] = {"m", "cm", "d", "cd", "c", "xc", "l", "xl", "x", "ix", "v", "iv", "i"};
        QString s;
        for (int i = 0; i < 13; ++i) {
            while (v >= values[i]) {
                s += QLatin1String(digits[i]);
                v -= values[i];
            }
        }
        return upper ? s.toUpper() : s;
    };
    auto letters = [](int v, bool upper) {
        if (v <= 0)
            return QString::number(v);
        return QString((v - 1) / 26 + 1, QChar(char16_t((upper ? 'A' : 'a') + (v - 1) % 26)));
    };
    switch (kind) {
    case RichNumberingKind::Arabic: return QString::number(n);
    case RichNumberingKind::LowerLetter: return letters(n, false);
    case RichNumberingKind::UpperLetter: return letters(n, true);
    case RichNumberingKind::LowerRoman: return roman(n, false);
    case RichNumberingKind::UpperRoman: return roman(n, true);
    default: return {};
    }
}

QString richNumberText(const QTextBlock& block)
{
    const RichNumbering n = richParaProps(block.blockFormat()).numbering;
    if (n.kind == RichNumberingKind::None)
        return {};
    if (n.kind == RichNumberingKind::Bullet)
        return n.textBefore.isEmpty() ? QString(QChar(0x00B7)) : n.textBefore + n.textAfter;
    int index = 0;
    for (QTextBlock b = block.previous(); b.isValid(); b = b.previous()) {
        if (!(richParaProps(b.blockFormat()).numbering == n))
            break;
        ++index;
    }
    QString before = n.textBefore, after = n.textAfter;
    if (before.isEmpty() && after.isEmpty()) {
        switch (n.style) {
        case RichNumberingStyle::Parens: before = QStringLiteral("("); after = QStringLiteral(")"); break;
        case RichNumberingStyle::Period: after = QStringLiteral("."); break;
        case RichNumberingStyle::RightParen: after = QStringLiteral(")"); break;
        case RichNumberingStyle::Plain: break;
        }
    }
    return before + richNumberString(n.kind, n.start + index) + after;
}

// ---- pictures ----------------------------------------------------------------------------------

RichPicture richPicture(const QTextImageFormat& f)
{
    RichPicture p;
    p.bytes = f.property(RichProp::PictureBytes).toByteArray();
    p.kind = RichPictureKind(intProp(f, RichProp::PictureKind, int(RichPictureKind::Png)));
    p.kindParam = intProp(f, RichProp::PictureKindParam, 0);
    p.width = intProp(f, RichProp::PictureWidth, 0);
    p.height = intProp(f, RichProp::PictureHeight, 0);
    p.goalWidth = intProp(f, RichProp::PictureGoalWidth, 0);
    p.goalHeight = intProp(f, RichProp::PictureGoalHeight, 0);
    p.scaleX = intProp(f, RichProp::PictureScaleX, 100);
    p.scaleY = intProp(f, RichProp::PictureScaleY, 100);
    p.crop = intListProp(f, RichProp::PictureCrop);
    p.bitmapInfo = intListProp(f, RichProp::PictureBitmapInfo);
    return p;
}

namespace {

constexpr int MaxPlaceholderSide = 64;

QImage placeholderImage()
{
    QImage img(MaxPlaceholderSide, MaxPlaceholderSide, QImage::Format_RGB32);
    img.fill(QColor(0xe0, 0xe0, 0xe0));
    QPainter p(&img);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(0, 0, img.width() - 1, img.height() - 1);
    p.drawLine(0, 0, img.width() - 1, img.height() - 1);
    p.drawLine(0, img.height() - 1, img.width() - 1, 0);
    return img;
}

quint32 le32(const QByteArray& b, qsizetype at)
{
    if (at < 0 || at + 4 > b.size())
        return 0;
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 le16(const QByteArray& b, qsizetype at)
{
    if (at < 0 || at + 2 > b.size())
        return 0;
    return qFromLittleEndian<quint16>(b.constData() + at);
}

// A DIB (BITMAPINFOHEADER, colours, bits) as an image, through Qt's BMP reader.
QImage decodeDib(const QByteArray& dib)
{
    if (dib.size() < 12)
        return {};
    const quint32 hdr = le32(dib, 0);
    if (hdr != 12 && hdr != 40 && hdr != 52 && hdr != 56 && hdr != 64 && hdr != 108 && hdr != 124)
        return {};
    quint32 colours = 0;
    int bits = 0;
    quint32 compression = 0;
    if (hdr == 12) {
        bits = le16(dib, 10);
        if (bits <= 8)
            colours = 1u << bits;
        colours *= 3;
    } else {
        bits = le16(dib, 14);
        compression = le32(dib, 16);
        quint32 used = le32(dib, 32);
        if (bits <= 8)
            colours = used ? used : (1u << bits);
        else
            colours = used;
        if (compression == 3 && hdr == 40)
            colours += 3; // the three bit-field masks
        colours *= 4;
    }
    if (colours > quint32(dib.size()))
        return {};
    QByteArray file;
    file.reserve(dib.size() + 14);
    file.append("BM", 2);
    char buf[4];
    qToLittleEndian<quint32>(quint32(dib.size() + 14), buf);
    file.append(buf, 4);
    file.append(QByteArray(4, '\0'));
    qToLittleEndian<quint32>(quint32(14 + hdr + colours), buf);
    file.append(buf, 4);
    file.append(dib);
    QImage img;
    img.loadFromData(file, "BMP");
    return img;
}

// A device-dependent bitmap (\wbitmap): raw rows of the given width in bytes.
QImage decodeDdb(const RichPicture& p)
{
    if (p.bitmapInfo.size() != 3 || p.width <= 0 || p.height <= 0)
        return {};
    const int bpp = p.bitmapInfo[0] * std::max(1, p.bitmapInfo[1]);
    const int stride = p.bitmapInfo[2];
    if (stride <= 0 || qint64(stride) * p.height > p.bytes.size() || qint64(p.width) * p.height > 50'000'000)
        return {};
    if (bpp == 1) {
        QImage img(p.width, p.height, QImage::Format_Mono);
        if (img.isNull() || img.bytesPerLine() < (p.width + 7) / 8)
            return {};
        img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        for (int y = 0; y < p.height; ++y)
            memcpy(img.scanLine(y), p.bytes.constData() + qint64(y) * stride,
                   std::min<qsizetype>(stride, img.bytesPerLine()));
        return img;
    }
    if (bpp == 24 || bpp == 32) {
        const int bytes = bpp / 8;
        if (stride < p.width * bytes)
            return {};
        QImage img(p.width, p.height, QImage::Format_RGB32);
        if (img.isNull())
            return {};
        for (int y = 0; y < p.height; ++y) {
            const uchar* s = reinterpret_cast<const uchar*>(p.bytes.constData()) + qint64(y) * stride;
            QRgb* d = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < p.width; ++x)
                d[x] = qRgb(s[x * bytes + 2], s[x * bytes + 1], s[x * bytes]);
        }
        return img;
    }
    return {};
}

// The first bitmap a Windows metafile draws (StretchDIB, DIBStretchBlt, DIBBitBlt, SetDIBitsToDevice).
QImage bitmapInWmf(const QByteArray& b)
{
    qsizetype pos = 0;
    if (le32(b, 0) == 0x9AC6CDD7u)
        pos = 22; // placeable header
    const quint16 headerWords = le16(b, pos + 2);
    if (headerWords < 9)
        return {};
    pos += qsizetype(headerWords) * 2;
    int guard = 0;
    while (pos + 6 <= b.size() && ++guard < 1'000'000) {
        const quint32 words = le32(b, pos);
        const quint16 func = le16(b, pos + 4);
        if (words < 3 || qint64(words) * 2 > b.size() - pos)
            break;
        const qsizetype end = pos + qsizetype(words) * 2;
        qsizetype dibAt = -1;
        if (func == 0x0F43)
            dibAt = pos + 28; // StretchDIB
        else if (func == 0x0B41)
            dibAt = pos + 26; // DIBStretchBlt
        else if (func == 0x0940)
            dibAt = pos + 22; // DIBBitBlt
        else if (func == 0x0D33)
            dibAt = pos + 24; // SetDIBitsToDevice
        if (dibAt > 0 && dibAt < end) {
            QImage img = decodeDib(b.mid(dibAt, end - dibAt));
            if (!img.isNull())
                return img;
        }
        if (func == 0)
            break;
        pos = end;
    }
    return {};
}

// The first bitmap an enhanced metafile draws.
QImage bitmapInEmf(const QByteArray& b)
{
    qsizetype pos = 0;
    int guard = 0;
    while (pos + 8 <= b.size() && ++guard < 1'000'000) {
        const quint32 type = le32(b, pos);
        const quint32 size = le32(b, pos + 4);
        if (size < 8 || size > quint64(b.size() - pos))
            break;
        qsizetype offsets = -1;
        if (type == 81 || type == 80)
            offsets = 48; // StretchDIBits, SetDIBitsToDevice
        else if (type == 76 || type == 77)
            offsets = 84; // BitBlt, StretchBlt
        if (offsets > 0 && offsets + 16 <= qsizetype(size)) {
            const quint32 offBmi = le32(b, pos + offsets), cbBmi = le32(b, pos + offsets + 4);
            const quint32 offBits = le32(b, pos + offsets + 8), cbBits = le32(b, pos + offsets + 12);
            if (cbBmi > 0 && quint64(offBmi) + cbBmi <= size && quint64(offBits) + cbBits <= size) {
                QByteArray dib = b.mid(pos + offBmi, cbBmi);
                dib.append(b.mid(pos + offBits, cbBits));
                QImage img = decodeDib(dib);
                if (!img.isNull())
                    return img;
            }
        }
        if (type == 14) // EOF
            break;
        pos += size;
    }
    return {};
}

QString pictureName(const QByteArray& bytes, int kind)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(bytes);
    return QStringLiteral("mvpict:%1-%2").arg(kind).arg(QString::fromLatin1(h.result().toHex()));
}

} // namespace

QImage decodeRichPicture(const RichPicture& p)
{
    switch (p.kind) {
    case RichPictureKind::Png: {
        QImage img;
        img.loadFromData(p.bytes, "PNG");
        if (img.isNull())
            img.loadFromData(p.bytes);
        return img;
    }
    case RichPictureKind::Jpeg: return DecodeJpeg(p.bytes);
    case RichPictureKind::Dib: return decodeDib(p.bytes);
    case RichPictureKind::Wbitmap: return decodeDdb(p);
    case RichPictureKind::Wmf: return bitmapInWmf(p.bytes);
    case RichPictureKind::Emf: return bitmapInEmf(p.bytes);
    default: return {};
    }
}

QSize richPictureTwips(const RichPicture& p)
{
    auto side = [&](int goal, int native, int scale) {
        qint64 tw = goal;
        if (tw <= 0) {
            const bool metafile = p.kind == RichPictureKind::Wmf || p.kind == RichPictureKind::Emf
                                  || p.kind == RichPictureKind::Pmm;
            tw = metafile ? qint64(native) * 1440 / 2540 : qint64(native) * 15;
        }
        tw = tw * (scale > 0 ? scale : 100) / 100;
        return int(std::clamp<qint64>(tw, 15, 20 * 1440)); // at most 20 inches
    };
    return {side(p.goalWidth, p.width, p.scaleX), side(p.goalHeight, p.height, p.scaleY)};
}

QTextImageFormat makeRichPicture(QTextDocument& doc, const RichPicture& p)
{
    QTextImageFormat f;
    const QString name = pictureName(p.bytes, int(p.kind));
    f.setName(name);
    f.setProperty(RichProp::PictureBytes, p.bytes);
    f.setProperty(RichProp::PictureKind, int(p.kind));
    f.setProperty(RichProp::PictureKindParam, p.kindParam);
    f.setProperty(RichProp::PictureWidth, p.width);
    f.setProperty(RichProp::PictureHeight, p.height);
    f.setProperty(RichProp::PictureGoalWidth, p.goalWidth);
    f.setProperty(RichProp::PictureGoalHeight, p.goalHeight);
    f.setProperty(RichProp::PictureScaleX, p.scaleX);
    f.setProperty(RichProp::PictureScaleY, p.scaleY);
    if (!p.crop.isEmpty())
        f.setProperty(RichProp::PictureCrop, QVariant::fromValue(p.crop));
    if (!p.bitmapInfo.isEmpty())
        f.setProperty(RichProp::PictureBitmapInfo, QVariant::fromValue(p.bitmapInfo));
    const QSize tw = richPictureTwips(p);
    f.setWidth(richTwipsToPixels(tw.width()));
    f.setHeight(richTwipsToPixels(tw.height()));
    if (!doc.resource(QTextDocument::ImageResource, QUrl(name)).isValid()) {
        QImage img = decodeRichPicture(p);
        if (img.isNull())
            img = placeholderImage();
        doc.addResource(QTextDocument::ImageResource, QUrl(name), img);
    }
    return f;
}

RichPicture richPictureFromImage(const QImage& image)
{
    RichPicture p;
    p.kind = RichPictureKind::Png;
    QBuffer buf(&p.bytes);
    buf.open(QIODevice::WriteOnly);
    image.save(&buf, "PNG");
    p.width = image.width();
    p.height = image.height();
    p.goalWidth = image.width() * 15;
    p.goalHeight = image.height() * 15;
    return p;
}

// ---- objects -----------------------------------------------------------------------------------

bool isRichObject(const QTextCharFormat& f) { return f.objectType() == RichObjectType; }

RichObject richObject(const QTextCharFormat& f)
{
    RichObject o;
    o.bytes = f.property(RichProp::ObjectBytes).toByteArray();
    o.width = intProp(f, RichProp::ObjectWidth, 0);
    o.height = intProp(f, RichProp::ObjectHeight, 0);
    return o;
}

namespace {

class RichObjectPainter : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    explicit RichObjectPainter(QObject* parent) : QObject(parent) {}

    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& format) override
    {
        const int w = std::clamp(intProp(format, RichProp::ObjectWidth, 0), 15, 20 * 1440);
        const int h = std::clamp(intProp(format, RichProp::ObjectHeight, 0), 15, 20 * 1440);
        return {richTwipsToPixels(w), richTwipsToPixels(h)};
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int,
                    const QTextFormat& format) override
    {
        const QString name = format.stringProperty(RichProp::ObjectPictureName);
        if (!name.isEmpty()) {
            const QVariant v = doc->resource(QTextDocument::ImageResource, QUrl(name));
            const QImage img = v.value<QImage>();
            if (!img.isNull()) {
                painter->drawImage(rect, img);
                return;
            }
        }
        painter->save();
        painter->setPen(QPen(QColor(0x80, 0x80, 0x80), 0));
        painter->setBrush(QColor(0xf0, 0xf0, 0xf0));
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

} // namespace

void installRichObjectPainter(QTextDocument& doc)
{
    QAbstractTextDocumentLayout* layout = doc.documentLayout();
    if (!layout)
        return;
    if (layout->handlerForObject(RichObjectType))
        return;
    layout->registerHandler(RichObjectType, new RichObjectPainter(layout));
}

QTextCharFormat makeRichObjectFormat(QTextDocument& doc, const QByteArray& groupBytes, int widthTw,
                                     int heightTw, const RichPicture* result)
{
    QTextCharFormat f;
    f.setObjectType(RichObjectType);
    f.setProperty(RichProp::ObjectBytes, groupBytes);
    f.setProperty(RichProp::ObjectWidth, widthTw);
    f.setProperty(RichProp::ObjectHeight, heightTw);
    if (result) {
        const QTextImageFormat img = makeRichPicture(doc, *result);
        f.setProperty(RichProp::ObjectPictureName, img.name());
    }
    return f;
}

void registerRichResources(QTextDocument& doc)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat cf = frag.charFormat();
            if (cf.isImageFormat() && cf.hasProperty(RichProp::PictureBytes)) {
                const QTextImageFormat img = cf.toImageFormat();
                if (!doc.resource(QTextDocument::ImageResource, QUrl(img.name())).isValid())
                    makeRichPicture(doc, richPicture(img));
            } else if (isRichObject(cf) && !cf.stringProperty(RichProp::ObjectPictureName).isEmpty()) {
                const QString name = cf.stringProperty(RichProp::ObjectPictureName);
                if (!doc.resource(QTextDocument::ImageResource, QUrl(name)).isValid()) {
                    // Rebuild the object's picture from its bytes.
                    const QTextCharFormat again = makeRichObject(doc, richObject(cf).bytes);
                    Q_UNUSED(again);
                }
            }
        }
    }
    installRichObjectPainter(doc);
}

} // namespace platform

#include "RichFormat.moc"
