#include "OleObject.h"

#include "platform/text/CodePage.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <QtEndian>

#include <array>

namespace platform {

namespace {

// Reads little-endian values and strings, never past the end.
class Reader {
public:
    explicit Reader(QByteArrayView d) : d_(d) {}
    qsizetype left() const { return d_.size() - pos_; }
    qsizetype pos() const { return pos_; }
    bool u16(quint16& v)
    {
        if (left() < 2)
            return false;
        v = qFromLittleEndian<quint16>(d_.data() + pos_);
        pos_ += 2;
        return true;
    }
    bool u32(quint32& v)
    {
        if (left() < 4)
            return false;
        v = qFromLittleEndian<quint32>(d_.data() + pos_);
        pos_ += 4;
        return true;
    }
    bool bytes(quint64 n, QByteArrayView& out)
    {
        if (n > quint64(left()))
            return false;
        out = d_.sliced(pos_, qsizetype(n));
        pos_ += qsizetype(n);
        return true;
    }
    // A string ending in NUL.
    bool cstring(QByteArray& out)
    {
        const qsizetype end = d_.sliced(pos_).indexOf('\0');
        if (end < 0)
            return false;
        out = d_.sliced(pos_, end).toByteArray();
        pos_ += end + 1;
        return true;
    }
    // A length-prefixed ANSI string: the length counts the NUL.
    bool lpstring(QByteArray& out)
    {
        quint32 n = 0;
        QByteArrayView b;
        if (!u32(n) || !bytes(n, b))
            return false;
        out = b.toByteArray();
        if (out.endsWith('\0'))
            out.chop(1);
        return true;
    }
    QByteArrayView rest() const { return d_.sliced(pos_); }

private:
    QByteArrayView d_;
    qsizetype pos_ = 0;
};

void put16(QByteArray& b, quint16 v)
{
    char x[2];
    qToLittleEndian(v, x);
    b.append(x, 2);
}
void put32(QByteArray& b, quint32 v)
{
    char x[4];
    qToLittleEndian(v, x);
    b.append(x, 4);
}
void putLp(QByteArray& b, const QByteArray& s)
{
    if (s.isEmpty()) {
        put32(b, 0);
        return;
    }
    put32(b, quint32(s.size() + 1));
    b.append(s).append('\0');
}

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QByteArray ansi(const QString& s) { return toCp1251(s); }

} // namespace

bool ParseOleObject(QByteArrayView data, OleObject& out, QString* error)
{
    Reader r(data);
    quint32 version = 0, format = 0;
    out = OleObject();
    if (!r.u32(version) || !r.u32(format))
        return fail(error, QStringLiteral("The object data is too short."));
    if (format != OleObject::Embedded && format != OleObject::Linked)
        return fail(error, QStringLiteral("The object data has an unknown format (%1).").arg(format));
    out.format = format;
    if (!r.lpstring(out.className) || !r.lpstring(out.topic) || !r.lpstring(out.item))
        return fail(error, QStringLiteral("The object's names run past its data."));
    if (format == OleObject::Embedded) {
        quint32 size = 0;
        QByteArrayView native;
        if (!r.u32(size) || !r.bytes(size, native))
            return fail(error, QStringLiteral("The object's data is shorter than it says (%1 bytes).").arg(size));
        out.native = native.toByteArray();
    } else {
        quint32 reserved = 0;
        if (!r.lpstring(out.networkName) || !r.u32(reserved) || !r.u32(out.updateOption))
            return fail(error, QStringLiteral("The link data run past the object's data."));
    }
    out.presentation = r.rest().toByteArray();
    return true;
}

QByteArray WriteOleObject(const OleObject& o, const QByteArray& metafile, QSize himetric)
{
    QByteArray b;
    put32(b, 0x00000501);
    put32(b, o.format);
    putLp(b, o.className);
    putLp(b, o.topic);
    putLp(b, o.item);
    if (o.format == OleObject::Embedded) {
        put32(b, quint32(o.native.size()));
        b.append(o.native);
    } else {
        putLp(b, o.networkName);
        put32(b, 0);
        put32(b, o.updateOption);
    }
    if (!metafile.isEmpty()) {
        // A standard presentation: METAFILEPICT (mapping mode, extent, handle) and the metafile.
        put32(b, 0x00000501);
        put32(b, 5);
        putLp(b, QByteArrayLiteral("METAFILEPICT"));
        put32(b, quint32(himetric.width()));
        put32(b, quint32(-himetric.height()));
        put32(b, quint32(metafile.size() + 8));
        put16(b, 8); // MM_ANISOTROPIC
        put16(b, quint16(himetric.width()));
        put16(b, quint16(himetric.height()));
        put16(b, 0);
        b.append(metafile);
    } else {
        b.append(o.presentation);
    }
    return b;
}

bool ParsePackage(QByteArrayView native, PackageNative& out, QString* error)
{
    Reader r(native);
    out = PackageNative();
    quint16 mark = 0, zero = 0, three = 0;
    QByteArray label, source, temp;
    if (!r.u16(mark) || mark != 2)
        return fail(error, QStringLiteral("The package does not start with its mark."));
    if (!r.cstring(label) || !r.cstring(source))
        return fail(error, QStringLiteral("The package's file name is damaged."));
    quint32 tempLength = 0;
    QByteArrayView tempBytes;
    if (!r.u16(zero) || !r.u16(three) || !r.u32(tempLength) || !r.bytes(tempLength, tempBytes))
        return fail(error, QStringLiteral("The package's temporary path is damaged."));
    temp = tempBytes.toByteArray();
    if (const qsizetype nul = temp.indexOf('\0'); nul >= 0)
        temp.truncate(nul);
    quint32 size = 0;
    QByteArrayView data;
    if (!r.u32(size) || !r.bytes(size, data))
        return fail(error, QStringLiteral("The package's file is shorter than it says (%1 bytes).").arg(size));
    out.label = fromCp1251(label);
    out.source = fromCp1251(source);
    out.tempPath = fromCp1251(temp);
    out.data = data.toByteArray();
    // Newer packagers append the three names in UTF-16: temporary path, label, source.
    QString* unicode[3] = {&out.tempPath, &out.label, &out.source};
    for (QString* target : unicode) {
        quint32 chars = 0;
        QByteArrayView u;
        if (!r.u32(chars) || quint64(chars) * 2 > quint64(r.left()) || !r.bytes(quint64(chars) * 2, u))
            break;
        // Plain little-endian code units: a name may begin with U+FEFF or U+FFFE, which is a
        // character here and no byte order mark.
        QString s(qsizetype(chars), Qt::Uninitialized);
        qFromLittleEndian<quint16>(u.data(), chars, s.data());
        // A name ends at its first NUL, as its ANSI copy does.
        if (const qsizetype nul = s.indexOf(QChar(0)); nul >= 0)
            s.truncate(nul);
        if (!s.isEmpty())
            *target = s;
    }
    return true;
}

QByteArray WritePackage(const PackageNative& given)
{
    // Names end at a NUL: what follows one could not be read back.
    PackageNative p = given;
    for (QString* s : {&p.label, &p.source, &p.tempPath})
        if (const qsizetype nul = s->indexOf(QChar(0)); nul >= 0)
            s->truncate(nul);
    QByteArray b;
    put16(b, 2);
    b.append(ansi(p.label)).append('\0');
    b.append(ansi(p.source)).append('\0');
    put16(b, 0);
    put16(b, 3);
    const QByteArray temp = ansi(p.tempPath);
    put32(b, quint32(temp.size() + 1));
    b.append(temp).append('\0');
    put32(b, quint32(p.data.size()));
    b.append(p.data);
    for (const QString* s : {&p.tempPath, &p.label, &p.source}) {
        put32(b, quint32(s->size()));
        const qsizetype at = b.size();
        b.resize(at + s->size() * 2);
        qToLittleEndian<quint16>(s->utf16(), s->size(), b.data() + at);
    }
    return b;
}

namespace {

// The group's control words at its top level, and its destinations by name.
bool hexDecode(QByteArrayView hex, QByteArray& out)
{
    // A table: the digit's value, 16 for white space, 17 for anything else.
    static const auto table = [] {
        std::array<quint8, 256> t;
        t.fill(17);
        for (int c = '0'; c <= '9'; ++c)
            t[c] = quint8(c - '0');
        for (int c = 'a'; c <= 'f'; ++c)
            t[c] = t[c - 'a' + 'A'] = quint8(c - 'a' + 10);
        for (char c : {' ', '\r', '\n', '\t'})
            t[quint8(c)] = 16;
        return t;
    }();
    out.resize(hex.size() / 2);
    char* o = out.data();
    qsizetype n = 0;
    int high = -1;
    for (char c : hex) {
        const quint8 v = table[quint8(c)];
        if (v == 16)
            continue;
        if (v == 17)
            return false;
        if (high < 0) {
            high = v;
        } else {
            o[n++] = char(high * 16 + v);
            high = -1;
        }
    }
    out.truncate(n);
    return high < 0;
}

// Hex in lines of 128 digits, each ended by CR LF.
void appendHexLines(QByteArray& g, QByteArrayView data)
{
    static const char digits[] = "0123456789abcdef";
    const qsizetype lines = (data.size() + 63) / 64;
    const qsizetype at = g.size();
    g.resize(at + data.size() * 2 + lines * 2);
    char* o = g.data() + at;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const quint8 b = quint8(data[i]);
        *o++ = digits[b >> 4];
        *o++ = digits[b & 15];
        if (i % 64 == 63 || i + 1 == data.size()) {
            *o++ = '\r';
            *o++ = '\n';
        }
    }
}

// The body of the first sub-group that starts with "{\*\name" or "{\name", without its braces
// and the control word; empty view when there is none.
bool destination(QByteArrayView group, QByteArrayView name, QByteArrayView& body)
{
    for (const QByteArray& start : {"{\\*\\" + name.toByteArray(), "{\\" + name.toByteArray()}) {
        qsizetype at = 0;
        while ((at = group.indexOf(start, at)) >= 0) {
            const qsizetype after = at + start.size();
            if (after < group.size() && std::isalpha(static_cast<unsigned char>(group[after]))) {
                at = after;
                continue; // a longer word
            }
            int depth = 0;
            qsizetype p = at;
            for (; p < group.size(); ++p) {
                if (group[p] == '\\') {
                    ++p;
                    continue;
                }
                if (group[p] == '{')
                    ++depth;
                else if (group[p] == '}' && --depth == 0)
                    break;
            }
            if (p >= group.size())
                return false;
            qsizetype b = after;
            if (b < p && group[b] == ' ')
                ++b;
            body = group.sliced(b, p - b);
            return true;
        }
    }
    return false;
}

int numberAfter(QByteArrayView group, QByteArrayView word)
{
    const qsizetype at = group.indexOf(word);
    if (at < 0)
        return 0;
    qsizetype p = at + word.size();
    bool neg = false;
    if (p < group.size() && group[p] == '-') {
        neg = true;
        ++p;
    }
    qint64 v = 0;
    while (p < group.size() && std::isdigit(static_cast<unsigned char>(group[p])) && v < 100000000)
        v = v * 10 + (group[p++] - '0');
    return int(neg ? -v : v);
}

bool hasWord(QByteArrayView group, QByteArrayView word)
{
    qsizetype at = 0;
    while ((at = group.indexOf(word, at)) >= 0) {
        const qsizetype after = at + word.size();
        if (after >= group.size() || !std::isalpha(static_cast<unsigned char>(group[after])))
            return true;
        at = after;
    }
    return false;
}

} // namespace

bool ParseObjectGroup(QByteArrayView group, RtfObjectInfo& out, QString* error)
{
    out = RtfObjectInfo();
    if (!group.startsWith("{\\object"))
        return fail(error, QStringLiteral("This is not an object."));
    out.linked = hasWord(group, "\\objlink");
    out.width = numberAfter(group, "\\objw");
    out.height = numberAfter(group, "\\objh");
    QByteArrayView body;
    if (destination(group, "objclass", body))
        out.objClass = body.trimmed().toByteArray();
    if (destination(group, "objdata", body)) {
        out.hasObjData = true;
        if (!hexDecode(body, out.objData))
            return fail(error, QStringLiteral("The object's data are damaged (not hexadecimal, or an odd count)."));
    }
    return true;
}

bool ReadPackageObject(QByteArrayView group, PackageObject& out, QString* error)
{
    out = PackageObject();
    RtfObjectInfo info;
    if (!ParseObjectGroup(group, info, error))
        return false;
    if (!info.hasObjData)
        return fail(error, QStringLiteral("The object holds no data."));
    OleObject ole;
    if (!ParseOleObject(info.objData, ole, error))
        return false;
    if (ole.className != "Package")
        return fail(error, QStringLiteral("The object is not a package."));
    out.linked = ole.format == OleObject::Linked;
    if (out.linked) {
        out.updateOption = ole.updateOption;
        // The path is Windows-1251 unless it names an existing file as UTF-8 (paths that
        // Windows-1251 cannot hold are stored so).
        const QString utf8 = QString::fromUtf8(ole.topic);
        out.linkSource = !utf8.contains(QChar::ReplacementCharacter) && QFileInfo::exists(utf8) ? utf8 : fromCp1251(ole.topic);
        out.package.source = out.linkSource;
        out.package.label = QFileInfo(out.linkSource).fileName();
        return true;
    }
    return ParsePackage(ole.native, out.package, error);
}

QImage PackageIcon(const QString& label)
{
    QFont font = QApplication::font();
    font.setPixelSize(11);
    const QFontMetrics fm(font);
    const QString shown = fm.elidedText(label, Qt::ElideMiddle, 160);
    const int width = qMax(48, fm.horizontalAdvance(shown) + 8);
    const int height = 32 + 4 + fm.height() + 2;
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    icon.paint(&p, QRect((width - 32) / 2, 0, 32, 32));
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 36, width, fm.height() + 2), Qt::AlignHCenter | Qt::AlignTop, shown);
    return img;
}

QByteArray MetafileWithBitmap(const QImage& image)
{
    const QImage img = image.convertToFormat(QImage::Format_RGB888);
    const int w = img.width(), h = img.height();
    const int stride = (w * 3 + 3) & ~3;
    // The DIB: a BITMAPINFOHEADER and bottom-up BGR rows.
    QByteArray dib;
    put32(dib, 40);
    put32(dib, quint32(w));
    put32(dib, quint32(h));
    put16(dib, 1);
    put16(dib, 24);
    put32(dib, 0);
    put32(dib, quint32(stride * h));
    put32(dib, 2835);
    put32(dib, 2835);
    put32(dib, 0);
    put32(dib, 0);
    for (int y = h - 1; y >= 0; --y) {
        const uchar* line = img.constScanLine(y);
        QByteArray row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            row[x * 3] = char(line[x * 3 + 2]);
            row[x * 3 + 1] = char(line[x * 3 + 1]);
            row[x * 3 + 2] = char(line[x * 3]);
        }
        dib.append(row);
    }
    QByteArray records;
    auto record = [&records](quint16 function, const QByteArray& params) {
        put32(records, quint32(3 + params.size() / 2));
        put16(records, function);
        records.append(params);
    };
    QByteArray p;
    put16(p, 0);
    put16(p, 0);
    record(0x020B, p); // SetWindowOrg
    p.clear();
    put16(p, quint16(h));
    put16(p, quint16(w));
    record(0x020C, p); // SetWindowExt
    p.clear();
    put32(p, 0x00CC0020); // SRCCOPY
    put16(p, 0);          // DIB_RGB_COLORS
    for (int v : {h, w, 0, 0, h, w, 0, 0})
        put16(p, quint16(v));
    p.append(dib);
    if (p.size() % 2)
        p.append('\0');
    record(0x0F43, p); // StretchDIB
    const quint32 maxRecord = quint32(3 + p.size() / 2);
    record(0x0000, QByteArray()); // EOF
    QByteArray wmf;
    put16(wmf, 1);      // in memory
    put16(wmf, 9);      // header words
    put16(wmf, 0x0300); // version
    put32(wmf, quint32((18 + records.size()) / 2));
    put16(wmf, 0);
    put32(wmf, maxRecord);
    put16(wmf, 0);
    return wmf + records;
}

QByteArray MakePackageGroup(const PackageNative& p, bool linked, quint32 updateOption)
{
    const QImage icon = PackageIcon(p.label);
    const QByteArray wmf = MetafileWithBitmap(icon);
    const int twW = icon.width() * 15, twH = icon.height() * 15;
    const QSize himetric(icon.width() * 2540 / 96, icon.height() * 2540 / 96);
    OleObject ole;
    ole.className = "Package";
    if (linked) {
        ole.format = OleObject::Linked;
        bool ok = false;
        const QByteArray path = encode(CodePage::Windows1251, p.source, &ok);
        ole.topic = ok ? path : p.source.toUtf8();
        ole.updateOption = updateOption;
    } else {
        ole.format = OleObject::Embedded;
        ole.native = WritePackage(p);
    }
    const QByteArray data = WriteOleObject(ole, wmf, himetric);
    QByteArray g;
    g.reserve(data.size() * 2 + wmf.size() * 2 + 512);
    g += linked ? "{\\object\\objlink" : "{\\object\\objemb";
    g += "\\objw" + QByteArray::number(twW) + "\\objh" + QByteArray::number(twH);
    g += "{\\*\\objclass Package}{\\*\\objdata\r\n";
    appendHexLines(g, data);
    g += "}{\\result{\\pict\\wmetafile8\\picw" + QByteArray::number(himetric.width()) + "\\pich"
         + QByteArray::number(himetric.height()) + "\\picwgoal" + QByteArray::number(twW) + "\\pichgoal"
         + QByteArray::number(twH) + "\r\n";
    appendHexLines(g, wmf);
    g += "}}}";
    return g;
}

} // namespace platform
