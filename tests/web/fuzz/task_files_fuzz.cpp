// Task file names and engine addresses from arbitrary search-words lines and link addresses:
// names must be texts a file can carry on every system the pages travel to and that come back
// the same from the file system; addresses must hold only characters that need no escaping.
#include "web/TaskFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& text)
{
    fprintf(stderr, "task_files_fuzz: %s: %s\n", what, text.toUtf8().toHex(' ').constData());
    std::abort();
}

bool wholeCodePoints(const QString& s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate()) {
            if (i + 1 >= s.size() || !s[i + 1].isLowSurrogate())
                return false;
            ++i;
        } else if (s[i].isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

void checkName(const char* what, const QString& name, const QString& refused)
{
    if (!wholeCodePoints(name))
        fail(what, name);
    for (QChar c : name)
        if (c.unicode() < 0x20 || refused.contains(c))
            fail(what, name);
    // As part of a path (a byte order mark at the very start of a bare name is dropped by the
    // decoder, never inside a path).
    const QString path = QStringLiteral("/d/") + name;
    if (QFile::decodeName(QFile::encodeName(path)) != path)
        fail(what, name);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Search-words lines come from a text the user typed: any UTF-16 text, taken two bytes a
    // character so that characters outside the basic plane and lone halves both occur.
    QString line(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    // Keep the input free of lone surrogates: a typed text never has them.
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate())
            ++i;
        else if (line[i].isSurrogate())
            line[i] = u'x';
    }
    const QString refused = QStringLiteral("\"<>|?*/\\");

    const QString words = tasks::wordsNameText(line.trimmed());
    checkName("wordsNameText", words, refused + QStringLiteral("%:@."));
    const QString link = tasks::linkNameText(line);
    checkName("linkNameText", link, refused + QStringLiteral("%.:"));

    static QTemporaryDir dir;
    static bool seeded = (tasks::seedRandom(1), true);
    (void)seeded;
    if (!words.isEmpty()) {
        const QString base = tasks::uniqueBaseName(dir.path() + QLatin1Char('/'), words, true);
        checkName("uniqueBaseName", base, refused);
        if (base.size() > 51)
            fail("uniqueBaseName length", base);
    }

    const QString url = tasks::MakeURL(line, QString(), QString());
    for (qsizetype i = 0; i < url.size(); ++i) {
        const QChar c = url[i];
        if (c == u'%') {
            if (i + 2 >= url.size() || !QStringLiteral("0123456789ABCDEF").contains(url[i + 1])
                || !QStringLiteral("0123456789ABCDEF").contains(url[i + 2]))
                fail("MakeURL escape", url);
            i += 2;
        } else if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'@' && c != u'*' && c != u'.' && c != u'+') {
            fail("MakeURL character", url);
        }
    }
    return 0;
}
