#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace testsupport {

namespace {
const ::testing::TestInfo* guardedTest = nullptr;

QString testdataFolder()
{
    QString d = qEnvironmentVariable("MV_TESTDATA_DIR");
    if (d.isEmpty())
        d = QStringLiteral(MV_TESTDATA_DIR);
    QFileInfo fi(d);
    if (!fi.isDir())
        return QString();
    QString p = fi.canonicalFilePath();
    return p.endsWith('/') ? p : p + '/';
}
} // namespace

QString guardedTestdataDir()
{
    guardedTest = ::testing::UnitTest::GetInstance()->current_test_info();
    return testdataFolder();
}

QString testdataDir()
{
    const ::testing::TestInfo* running = ::testing::UnitTest::GetInstance()->current_test_info();
    if (running && running != guardedTest)
        ADD_FAILURE() << "the shared test files are read without MV_REQUIRE_TESTDATA(): "
                         "on a clone without them this test fails instead of skipping";
    return testdataFolder();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ADD_FAILURE() << "cannot write " << path.toStdString();
    f.write(data);
}

bool haveTool(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

int runTool(const QString& program, const QStringList& args, QByteArray* out, QByteArray* err,
            const QString& workDir, int timeoutMs)
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    if (!p.waitForStarted())
        return -1;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TempDir::TempDir() : dir_(QDir::tempPath() + "/mvtest-XXXXXX") {}

QString TempDir::path() const
{
    QString p = dir_.path();
    return p.endsWith('/') ? p : p + '/';
}

UnwritableFolder::UnwritableFolder(const QString& path) : path_(path)
{
    immutable = runTool(QStringLiteral("chattr"), {QStringLiteral("+i"), path_}) == 0;
    if (!immutable)
        QFile::setPermissions(path_, QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(QDir(path_).filePath(QStringLiteral("probe")));
    usable = !probe.open(QIODevice::WriteOnly);
    if (!usable)
        probe.remove();
}

UnwritableFolder::~UnwritableFolder()
{
    if (immutable)
        runTool(QStringLiteral("chattr"), {QStringLiteral("-i"), path_});
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace testsupport
