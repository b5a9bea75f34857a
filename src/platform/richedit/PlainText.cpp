#include "platform/richedit/PlainText.h"

#include "platform/text/CodePage.h"

#include <QTextCursor>
#include <QTextDocument>

namespace platform {

QString PlainTextFromBytes(QByteArrayView bytes)
{
    QString text = fromCp1251(bytes);
    // CR LF and a lone CR become '\n'; the decoded text has one character per byte, so the
    // bytes can be tested through it.
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray PlainTextToBytes(QStringView text, bool utf16)
{
    QString s;
    s.reserve(text.size() + text.size() / 16);
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'\n':
        case 0x2029: // paragraph mark
        case 0x2028: // line break
            s += QStringLiteral("\r\n");
            break;
        case u'\r':
            s += QStringLiteral("\r\n");
            break;
        case 0xfffc: // picture or object
            break;
        default:
            s += c;
        }
    }
    if (utf16) {
        QByteArray b;
        b.resize(s.size() * 2);
        for (qsizetype i = 0; i < s.size(); ++i) {
            const ushort u = s.at(i).unicode();
            b[2 * i] = char(u & 0xff);
            b[2 * i + 1] = char(u >> 8);
        }
        return b;
    }
    return toCp1251(s);
}

static QString cleanRaw(QString raw)
{
    QString out;
    out.reserve(raw.size());
    for (QChar c : raw) {
        const ushort u = c.unicode();
        if (u == 0x2029 || u == 0x2028)
            out += u'\n';
        else if (u != 0xfffc)
            out += c;
    }
    return out;
}

QString PlainTextOf(const QTextDocument& doc)
{
    return cleanRaw(doc.toRawText());
}

QString PlainTextOf(const QTextCursor& selection)
{
    // selectedText() spells paragraph marks as U+2029 and keeps U+FFFC for objects.
    return cleanRaw(selection.selectedText());
}

void SetPlainTextOf(QTextDocument& doc, const QString& text)
{
    // setPlainText would turn tabs and NULs into something else in some Qt versions; insert
    // through a cursor, which keeps every character.
    doc.clear();
    QTextCursor c(&doc);
    c.beginEditBlock();
    c.insertText(text);
    c.endEditBlock();
}

} // namespace platform
