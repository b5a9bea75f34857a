// Any bytes through the RTF reader, and what it read through the writer and the reader again:
// no crash, no unbounded memory, and a saved document always loads.
#include "platform/richedit/RichFormat.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Qt keeps process-wide caches (fonts, the application) that live until exit: leak reports of
// them say nothing about the reader. Memory use is bounded by -rss_limit_mb instead.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: tearing the application down at exit is not what is tested here.
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument doc;
    if (!platform::ReadRtf(input, doc))
        return 0;
    const QByteArray saved = platform::WriteRtf(doc);
    QTextDocument again;
    if (!platform::ReadRtf(saved, again))
        abort(); // what the writer writes must load
    return 0;
}
