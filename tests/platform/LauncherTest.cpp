#include "platform/shell/Launcher.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

using namespace platform;

namespace {
// Puts small programs of the given names first on PATH for the life of a test; each writes its
// name and arguments, one per line, to a file named after it (renamed into place once complete,
// so that it is never read half written).
class FakePrograms {
public:
    explicit FakePrograms(const QStringList& names) : oldPath_(qgetenv("PATH"))
    {
        for (const QString& n : names) {
            const QString script = bin_.file(n);
            testsupport::writeFile(script, QStringLiteral("#!/bin/sh\n{ echo %1; for a in \"$@\"; do echo \"$a\"; done; } > '%2.part' && mv '%2.part' '%2'\n")
                                               .arg(n, out_.file(n))
                                               .toUtf8());
            QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        // Only these programs and the shell's basics: nothing installed on this machine answers.
        qputenv("PATH", QFile::encodeName(bin_.path()) + ":/bin");
    }
    ~FakePrograms() { qputenv("PATH", oldPath_); }

    // The lines the program named `name` received, once it has run.
    QStringList calls(const QString& name) const
    {
        QElapsedTimer t;
        t.start();
        while (!QFileInfo::exists(out_.file(name)) && t.elapsed() < 60000)
            QThread::msleep(20);
        return QString::fromUtf8(testsupport::readFile(out_.file(name))).split('\n', Qt::SkipEmptyParts);
    }

private:
    testsupport::TempDir bin_, out_;
    QByteArray oldPath_;
};
} // namespace

TEST(Launcher, NotepadIsTheDesktopsTextEditorAndOtherProgramsAreFoundOnThePath)
{
    FakePrograms fake({"mousepad", "fpeditor", "xdg-open", "lowriter"});
    DesktopLauncher l;
    EXPECT_TRUE(l.startProgram("notepad.exe", {"/cat/a b.txt"}));
    EXPECT_EQ(fake.calls("mousepad"), (QStringList{"mousepad", "/cat/a b.txt"}));
    EXPECT_TRUE(l.startProgram("fpeditor.exe", {"/cat/page.html"}));
    EXPECT_EQ(fake.calls("fpeditor"), (QStringList{"fpeditor", "/cat/page.html"}));
    EXPECT_TRUE(l.openDocument("http://example.org/?q=1"));
    EXPECT_EQ(fake.calls("xdg-open"), (QStringList{"xdg-open", "http://example.org/?q=1"}));
    EXPECT_TRUE(l.openInWordProcessor("/cat/note.rtf"));
    EXPECT_EQ(fake.calls("lowriter"), (QStringList{"lowriter", "/cat/note.rtf"}));
    EXPECT_FALSE(l.startProgram("nosuchprogram.exe", {"/cat/x"}));
}

TEST(Launcher, WithoutATextEditorTheFileGoesToTheDefaultProgram)
{
    FakePrograms fake({"xdg-open"});
    DesktopLauncher l;
    EXPECT_TRUE(l.startProgram("notepad.exe", {"/cat/list.txt"}));
    EXPECT_EQ(fake.calls("xdg-open"), (QStringList{"xdg-open", "/cat/list.txt"}));
}
