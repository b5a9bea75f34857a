// A note saved and loaded again saves the same bytes: for any input that loads, the second save
// equals the first.
#include "platform/richedit/RichFormat.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Qt keeps process-wide caches (fonts, the application) that live until exit: leak reports of
// them say nothing about the reader. Memory use is bounded by -rss_limit_mb instead.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument doc;
    if (!platform::ReadRtf(input, doc))
        return 0;
    const QByteArray first = platform::WriteRtf(doc);
    QTextDocument again;
    if (!platform::ReadRtf(first, again))
        abort();
    const QByteArray second = platform::WriteRtf(again);
    if (second != first) {
        fprintf(stderr, "first save:\n%s\nsecond save:\n%s\n", first.constData(), second.constData());
        abort();
    }
    return 0;
}
