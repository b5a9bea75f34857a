#include "platform/richedit/RtfCodePage.h"

#include "platform/text/CodePage.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

#include <memory>

namespace platform::rtf {

int codePageForCharset(int charset, int documentCodePage)
{
    switch (charset) {
    case 0: return 1252;
    case 2: return 0;
    case 77: return 10000;
    case 78: return 10001;
    case 79: return 10003;
    case 80: return 10008;
    case 81: return 10002;
    case 83: return 10005;
    case 84: return 10004;
    case 85: return 10006;
    case 86: return 10081;
    case 87: return 10021;
    case 88: return 10029;
    case 89: return 10007;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    // OEM: the notes come from Russian Windows, whose OEM code page is 866.
    case 255: return 866;
    default: return documentCodePage;
    }
}

namespace {

const char* icuName(int cp)
{
    switch (cp) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 852: return "IBM852";
    case 855: return "IBM855";
    case 857: return "IBM857";
    case 862: return "IBM862";
    case 874: return "windows-874";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 1250: return "windows-1250";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 10000: return "macintosh";
    case 10001: return "Shift_JIS";
    case 10006: return "x-mac-greek";
    case 10007: return "x-mac-cyrillic";
    case 10029: return "x-mac-centraleurroman";
    case 10081: return "x-mac-turkish";
    case 20932: return "EUC-JP";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28595: return "ISO-8859-5";
    case 65001: return "UTF-8";
    default: return nullptr;
    }
}

struct Converters {
    QHash<int, std::shared_ptr<QStringDecoder>> decoders;
    // Single-byte codes of a code page by character, made by decoding every byte once. Qt's
    // ICU encoders stay in their error state after a character they cannot hold, so they are
    // not kept.
    QHash<int, std::shared_ptr<QHash<char16_t, char>>> singleBytes;
};

Converters& converters()
{
    thread_local Converters c;
    return c;
}

QStringDecoder* decoderFor(int cp)
{
    auto& map = converters().decoders;
    auto it = map.find(cp);
    if (it == map.end()) {
        std::shared_ptr<QStringDecoder> d;
        if (const char* name = icuName(cp)) {
            d = std::make_shared<QStringDecoder>(name, QStringConverter::Flag::Stateless);
            if (!d->isValid())
                d.reset();
        }
        it = map.insert(cp, d);
    }
    return it->get();
}

const QHash<char16_t, char>& singleBytesFor(int cp)
{
    auto& map = converters().singleBytes;
    auto it = map.find(cp);
    if (it == map.end()) {
        auto table = std::make_shared<QHash<char16_t, char>>();
        for (int b = 0x80; b < 0x100; ++b) {
            const char byte = char(b);
            const QString s = decodeCodePage(cp, QByteArrayView(&byte, 1));
            if (s.size() == 1 && s[0] != QChar::ReplacementCharacter && s[0].unicode() != 0x1A
                && !table->contains(s[0].unicode()))
                table->insert(s[0].unicode(), byte);
        }
        it = map.insert(cp, table);
    }
    return **it;
}

bool isDoubleByte(int cp)
{
    return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361 || cp == 10001
           || cp == 20932 || cp == 65001;
}

} // namespace

QString decodeCodePage(int codePage, QByteArrayView bytes)
{
    switch (codePage) {
    case 0: return QString::fromLatin1(bytes.data(), bytes.size());
    case 1251: return decode(CodePage::Windows1251, bytes);
    case 866: return decode(CodePage::Oem866, bytes);
    case 1252: return decode(CodePage::Windows1252, bytes);
    default: break;
    }
    if (QStringDecoder* d = decoderFor(codePage)) {
        d->resetState();
        return d->decode(bytes);
    }
    return decode(CodePage::Windows1252, bytes);
}

QByteArray encodeCodePage(int codePage, QStringView ch)
{
    auto single = [&](CodePage cp) -> QByteArray {
        bool ok = true;
        QByteArray b = encode(cp, ch, &ok);
        return ok ? b : QByteArray();
    };
    switch (codePage) {
    case 0: {
        QByteArray b;
        for (QChar c : ch) {
            if (c.unicode() > 0xFF)
                return {};
            b.append(char(c.unicode()));
        }
        return b;
    }
    case 1251: return single(CodePage::Windows1251);
    case 866: return single(CodePage::Oem866);
    case 1252: return single(CodePage::Windows1252);
    default: break;
    }
    if (ch.size() == 1 && ch[0].unicode() < 0x80)
        return QByteArray(1, char(ch[0].unicode()));
    if (ch.size() == 1) {
        const auto& table = singleBytesFor(codePage);
        auto it = table.constFind(ch[0].unicode());
        if (it != table.cend())
            return QByteArray(1, *it);
    }
    if (!isDoubleByte(codePage) || !icuName(codePage))
        return {};
    QStringEncoder e(icuName(codePage), QStringConverter::Flag::Stateless);
    if (!e.isValid())
        return {};
    QByteArray b = e.encode(ch);
    if (e.hasError() || decodeCodePage(codePage, b) != ch)
        return {};
    return b;
}

} // namespace platform::rtf
