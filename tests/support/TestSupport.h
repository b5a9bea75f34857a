#pragma once
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace testsupport {

// Folder of the shared public test files. A test reaches it only after MV_REQUIRE_TESTDATA():
// a test that forgets the guard fails here, also where the files are present, so a clone
// without them can never be the first to find it.
QString testdataDir();
// The folder, or empty when the files are missing; marks the running test as guarded.
QString guardedTestdataDir();

// Skips the test (or fails it under CI=true) when the shared test files are missing.
#define MV_REQUIRE_TESTDATA()                                                          \
    do {                                                                               \
        if (::testsupport::guardedTestdataDir().isEmpty()) {                           \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                   \
                FAIL() << "shared test data missing";                                  \
            GTEST_SKIP() << "shared test data missing: ../shared/testdata";           \
        }                                                                              \
    } while (0)

// Waits up to `ms` for a condition while events are handled, and fails the test (a GoogleTest
// failure: Qt Test's QTRY_ macros fail nothing here) when it does not come.
#define MV_WAIT_FOR(cond, ms) ASSERT_TRUE(QTest::qWaitFor([&] { return bool(cond); }, ms)) << "waited in vain for: " #cond

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& data);

// True when a program is on PATH (interoperability peers).
bool haveTool(const QString& program);
// Runs a program, returns exit code (-1 when it could not start); stdout and stderr captured.
int runTool(const QString& program, const QStringList& args, QByteArray* out = nullptr,
            QByteArray* err = nullptr, const QString& workDir = QString(), int timeoutMs = 120000);

// A temporary folder removed at the end of the test, with the path ending in "/".
class TempDir {
public:
    TempDir();
    QString path() const; // ends with "/"
    QString file(const QString& name) const { return path() + name; }

private:
    QTemporaryDir dir_;
};

// Makes a folder unwritable for the life of the object, in a way that holds for root too (the
// immutable flag); where that is not possible, the mode bits. `usable` is false when neither
// keeps a file from being created here (the test should then skip).
class UnwritableFolder {
public:
    explicit UnwritableFolder(const QString& path);
    ~UnwritableFolder();
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;
    bool usable = false;
    bool immutable = false; // the flag was set (errors read "Operation not permitted")

private:
    QString path_;
};

} // namespace testsupport
