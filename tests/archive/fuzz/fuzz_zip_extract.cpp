// Opens any bytes as an archive and extracts everything: no crash, no hang, and nothing
// written outside the destination folder.
#include "archive/ZipReader.h"
#include "platform/dialogs/Dialogs.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

// Answers every question with its first button and keeps nothing.
class SilentDialogs : public platform::Dialogs {
public:
    platform::MsgResult message(const QString&, const QString&, platform::MsgButtons b, platform::MsgIcon) override
    {
        return b == platform::MsgButtons::YesNo || b == platform::MsgButtons::YesNoCancel ? platform::MsgResult::Yes
                                                                                          : platform::MsgResult::Ok;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFileNames(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString folderName(const QString&, const QString&) override { return {}; }
    bool inputText(const QString&, const QString&, QString&) override { return false; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool init = [] {
        platform::setDialogs(std::make_unique<SilentDialogs>());
        return true;
    }();
    (void)init;
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("in.zip"));
    {
        QFile f(zip);
        if (!f.open(QIODevice::WriteOnly))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const QString dest = dir.filePath(QStringLiteral("out/dest"));
    for (bool recreate : {true, false}) {
        archive::TZipReader r;
        r.IncompleteZipMode = archive::izAssumeBad;
        r.DoAll = true;
        r.RecreateDirs = recreate;
        r.OverwriteMode = archive::Always;
        r.Password = QStringLiteral("pw");
        r.OnGetNextDisk = [](archive::TZipReader*, int, QString& name) { name.clear(); };
        try {
            r.SetZipName(zip);
            r.SetDestDir(dest);
            r.UnZip();
            for (int i = 0; i < r.Count(); ++i) {
                r.Filename(i);
                r.DateTime(i);
                r.FileComment(i);
            }
            r.ZipComment();
        } catch (const platform::Exception&) {
        }
    }
    // Everything written lies under dest, and no member left a half-written file behind.
    QDirIterator it(dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    const QString out = dir.filePath(QStringLiteral("out"));
    while (it.hasNext()) {
        const QString p = it.next();
        if (p == zip || p == out || p == dest)
            continue;
        if (!p.startsWith(dest + QLatin1Char('/')) || it.fileName().startsWith(QLatin1String(".mvpart")))
            std::abort();
    }
    return 0;
}
