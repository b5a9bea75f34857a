#include "ComponentSupport.h"

#include "archive/ZipCrc.h"
#include "platform/text/CodePage.h"

namespace ziptest {

QByteArray rawZip(const QList<RawMember>& members, const QByteArray& comment)
{
    QByteArray out, central;
    for (const RawMember& m : members) {
        const uint32_t crc = m.crc || m.size >= 0 ? m.crc : archive::UpdateCrc32(0, m.data.constData(), size_t(m.data.size()));
        const uint32_t offset = uint32_t(out.size());
        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, m.flags);
        put16(out, m.method);
        put32(out, m.dosTime);
        put32(out, crc);
        put32(out, uint32_t(m.data.size()));
        put32(out, uint32_t(m.size < 0 ? m.data.size() : m.size));
        put16(out, uint16_t(m.name.size()));
        put16(out, 0);
        out += m.name;
        out += m.data;
        put32(central, 0x02014b50);
        put16(central, 20);
        put16(central, 20);
        put16(central, m.flags);
        put16(central, m.method);
        put32(central, m.dosTime);
        put32(central, crc);
        put32(central, uint32_t(m.data.size()));
        put32(central, uint32_t(m.size < 0 ? m.data.size() : m.size));
        put16(central, uint16_t(m.name.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, 0x20);
        put32(central, offset);
        central += m.name;
    }
    const uint32_t cdOffset = uint32_t(out.size());
    out += central;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, uint16_t(members.size()));
    put16(out, uint16_t(members.size()));
    put32(out, uint32_t(central.size()));
    put32(out, cdOffset);
    put16(out, uint16_t(comment.size()));
    out += comment;
    return out;
}

QString tableMemberName(QString name)
{
    if (name.contains(QStringLiteral("\\udc"))) {
        QByteArray bytes;
        for (int i = 0; i < name.size();) {
            if (name.mid(i, 4) == QStringLiteral("\\udc")) {
                bytes += char(name.mid(i + 4, 2).toInt(nullptr, 16));
                i += 6;
            } else {
                bytes += name.mid(i, 1).toUtf8();
                ++i;
            }
        }
        name = platform::fromOem(bytes);
    }
    name.removeIf([](QChar c) { return c.unicode() < 0x20; });
    return name;
}

} // namespace ziptest
