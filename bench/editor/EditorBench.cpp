// bench_editor: the editor window's costs beside the bare control's.
//   Open/*       EditFileFromTree until the note shows, refreshed (peer: BareLoad/*)
//   TypeKey/N    one typed key in the window at N bytes of text (peer: BareTypeKey/N)
//   CaretMove    one caret move in a 10 MB note, with the window's refresh
//   SelectAll    select-all with its refresh in a 10 MB note
//   CreateWindow creating the window, font list included
// Run with QT_QPA_PLATFORM=offscreen.
#include "app/UnitSlova.h"
#include "editor/REMain.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/richedit/OleObject.h"
#include "platform/richedit/RichLayout.h"
#include "platform/shell/Launcher.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTextDocument>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir* catalog = nullptr;

QByteArray textRtf(qsizetype target)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}\n";
    int n = 0;
    while (rtf.size() < target)
        rtf += "\\pard\\li567\\fi-283\\sa120\\f0\\fs24 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2! {\\b bold} and {\\i italic} words, "
               "paragraph " + QByteArray::number(++n) + " with some more text to fill the line.\\par\n";
    return rtf + "}";
}

QByteArray pictureRtf(qsizetype target)
{
    QImage img(360, 360, QImage::Format_RGB32);
    unsigned seed = 7;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb((seed = seed * 1103515245u + 12345u) >> 24, x % 256, y % 256));
    QByteArray jpg;
    QBuffer b(&jpg);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "JPEG", 90);
    const QByteArray hex = jpg.toHex();
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}\n";
    int n = 0;
    while (rtf.size() < target) {
        rtf += "\\pard\\f0\\fs24 Picture " + QByteArray::number(++n) + ": {\\pict\\jpegblip\\picw360\\pich360"
               "\\picwgoal5400\\pichgoal5400\n";
        for (qsizetype i = 0; i < hex.size(); i += 128)
            rtf += hex.mid(i, 128) + "\n";
        rtf += "}\\par\n";
    }
    return rtf + "}";
}

QString noteFile(const QString& node, const QByteArray& rtf)
{
    const QString path = catalog->path() + "/" + node + ".rtf";
    if (!QFile::exists(path)) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(rtf);
    }
    return path;
}

void settle(QWidget* w)
{
    QApplication::processEvents();
    if (auto* l = qobject_cast<platform::RichLayout*>(static_cast<TFormEdit*>(w)->Editor->document()->documentLayout()))
        l->FinishLayout();
}

TFormEdit* window()
{
    static TFormEdit* w = nullptr;
    if (!w) {
        w = new TFormEdit();
        FormEdit = w;
        w->resize(900, 700);
        w->show();
    }
    return w;
}

void openNode(const QString& node)
{
    FormSlova->CurrentNodeText = node;
    window()->EditFileFromTree();
    settle(window());
}

void BM_Open(benchmark::State& state, const QString& node, QByteArray (*make)(qsizetype), qsizetype size)
{
    noteFile(node, make(size));
    for (auto _ : state) {
        state.PauseTiming();
        openNode(QStringLiteral("empty"));
        state.ResumeTiming();
        openNode(node);
    }
}

void BM_BareLoad(benchmark::State& state, const QString& node, QByteArray (*make)(qsizetype), qsizetype size)
{
    const QString path = noteFile(node, make(size));
    TNoteEdit edit;
    edit.resize(900, 700);
    edit.show();
    for (auto _ : state) {
        edit.Lines()->LoadFromFile(path);
        if (auto* l = qobject_cast<platform::RichLayout*>(edit.document()->documentLayout()))
            l->FinishLayout();
    }
}

QByteArray plainSized(qsizetype size) { return textRtf(size); }

void typeKeys(benchmark::State& state, QTextEdit* edit)
{
    int n = 0;
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(edit, &press);
        if (++n % 64 == 0) {
            state.PauseTiming();
            // Keep the note at its size.
            QKeyEvent back(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
            for (int i = 0; i < 64; ++i)
                QApplication::sendEvent(edit, &back);
            state.ResumeTiming();
        }
    }
}

void BM_TypeKey(benchmark::State& state)
{
    const QString node = QStringLiteral("type%1").arg(state.range(0));
    noteFile(node, plainSized(state.range(0)));
    openNode(node);
    TFormEdit* w = window();
    w->Editor->SetSelection(w->Editor->TextLength() / 2, w->Editor->TextLength() / 2);
    typeKeys(state, w->Editor);
    w->Editor->SetModified(false);
}

void BM_BareTypeKey(benchmark::State& state)
{
    const QString path = noteFile(QStringLiteral("type%1").arg(state.range(0)), plainSized(state.range(0)));
    TNoteEdit edit;
    edit.resize(900, 700);
    edit.show();
    edit.Lines()->LoadFromFile(path);
    QApplication::processEvents();
    if (auto* l = qobject_cast<platform::RichLayout*>(edit.document()->documentLayout()))
        l->FinishLayout();
    edit.SetSelection(edit.TextLength() / 2, edit.TextLength() / 2);
    typeKeys(state, &edit);
}

void BM_CaretMove(benchmark::State& state)
{
    noteFile(QStringLiteral("type10485760"), plainSized(10485760));
    openNode(QStringLiteral("type10485760"));
    TFormEdit* w = window();
    w->Editor->SetSelection(w->Editor->TextLength() / 2, w->Editor->TextLength() / 2);
    int n = 0;
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, (++n / 200) % 2 ? Qt::Key_Down : Qt::Key_Up, Qt::NoModifier);
        QApplication::sendEvent(w->Editor, &press);
    }
}

void BM_SelectAll(benchmark::State& state)
{
    noteFile(QStringLiteral("type10485760"), plainSized(10485760));
    openNode(QStringLiteral("type10485760"));
    TFormEdit* w = window();
    for (auto _ : state) {
        w->Editor->SelectAll();
        state.PauseTiming();
        w->Editor->SetSelection(0, 0);
        state.ResumeTiming();
    }
}

void BM_CreateWindow(benchmark::State& state)
{
    for (auto _ : state) {
        auto* w = new TFormEdit();
        benchmark::DoNotOptimize(w);
        state.PauseTiming();
        delete w;
        state.ResumeTiming();
    }
}

QString bigFile(qint64 size)
{
    const QString path = catalog->path() + QStringLiteral("/blob%1.bin").arg(size);
    if (!QFile::exists(path)) {
        QByteArray b(size, '\0');
        unsigned seed = 1;
        for (char& c : b)
            c = char((seed = seed * 1103515245u + 12345u) >> 24);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(b);
    }
    return path;
}

// Embedding a 50 MiB file and saving the note.
void BM_EmbedAndSave(benchmark::State& state)
{
    const QString blob = bigFile(50LL << 20);
    const QString out = catalog->path() + QStringLiteral("/embedded.rtf");
    for (auto _ : state) {
        state.PauseTiming();
        TNoteEdit edit;
        state.ResumeTiming();
        edit.InsertObjectFromFile(blob, false);
        edit.Lines()->SaveToFile(out);
    }
}

// Loading a note with twenty packages of 2 MiB.
void BM_LoadPackages(benchmark::State& state)
{
    const QString path = catalog->path() + QStringLiteral("/packages.rtf");
    if (!QFile::exists(path)) {
        TNoteEdit edit;
        const QString blob = bigFile(2LL << 20);
        for (int i = 0; i < 20; ++i) {
            edit.InsertObjectFromFile(blob, false);
            edit.SetSelection(edit.TextLength(), edit.TextLength());
        }
        edit.Lines()->SaveToFile(path);
    }
    TNoteEdit edit;
    for (auto _ : state)
        edit.Lines()->LoadFromFile(path);
}

// Extracting a 50 MiB package for "Open".
void BM_ExtractPackage(benchmark::State& state)
{
    TNoteEdit edit;
    edit.InsertObjectFromFile(bigFile(50LL << 20), false);
    for (auto _ : state) {
        edit.SetSelection(0, 1);
        edit.DoVerb(0);
        state.PauseTiming();
        TCustomNoteEdit::RemoveObjectCopies();
        state.ResumeTiming();
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir dir;
    catalog = &dir;
    FormSlova = new TFormSlova();
    FormSlova->ProjectPath = dir.path() + "/";
    benchmark::RegisterBenchmark("Open/1MB_text", BM_Open, QStringLiteral("text1"), textRtf, 1 << 20)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BareLoad/1MB_text", BM_BareLoad, QStringLiteral("text1"), textRtf, 1 << 20)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Open/20MB_pictures", BM_Open, QStringLiteral("pict20"), pictureRtf, 20 << 20)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BareLoad/20MB_pictures", BM_BareLoad, QStringLiteral("pict20"), pictureRtf, 20 << 20)
        ->Unit(benchmark::kMillisecond);
    for (auto* b : {benchmark::RegisterBenchmark("TypeKey", BM_TypeKey),
                    benchmark::RegisterBenchmark("BareTypeKey", BM_BareTypeKey)})
        b->Arg(10 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("CaretMove/10MB", BM_CaretMove)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("SelectAll/10MB", BM_SelectAll)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CreateWindow", BM_CreateWindow)->Unit(benchmark::kMillisecond);
    platform::setLauncher(std::make_unique<platform::RecordingLauncher>());
    TCustomNoteEdit::SetObjectTempRoot(dir.path() + "/temp/");
    benchmark::RegisterBenchmark("Objects/EmbedAndSave50MiB", BM_EmbedAndSave)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Objects/Load20x2MiB", BM_LoadPackages)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Objects/Extract50MiB", BM_ExtractPackage)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
