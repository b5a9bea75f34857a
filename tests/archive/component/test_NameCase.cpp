// Names that differ only in case: on Linux "Index.html" and "index.html" are two files, so an
// archive holds both, an update replaces a member only by its exact name, and extraction
// writes both. Archives without such names keep the order and bytes they always had.
#include "ComponentSupport.h"

#include <QFile>

using namespace ziptest;
using namespace archive;

namespace {

// A folder as texinfo leaves one: an index page next to the "Index" node, and two folders
// that differ only in case, each with a file of the same name.
QMap<QString, QByteArray> makeCaseTree(const QString& dir)
{
    const QMap<QString, QByteArray> files{
        {"html/Index.html", "<p>the Index node</p>\n" + textBytes(3000, 1)},
        {"html/index.html", "<p>the table of contents</p>\n" + textBytes(2500, 2)},
        {"html/Types.html", textBytes(4000, 3)},
        {"Doc/notes.txt", "upper folder " + textBytes(1200, 4)},
        {"doc/notes.txt", "lower folder " + textBytes(1300, 5)},
        {"doc/b.bin", randomBytes(700, 6)},
        {"README", "read me\n"},
        {"readme", "another file\n"},
    };
    for (auto it = files.begin(); it != files.end(); ++it)
        writeFile(dir + u'/' + it.key(), it.value());
    return files;
}

// Zips a whole folder as the program does: a recursive pattern, paths relative to it.
QByteArray zipFolder(const QString& zip, const QString& dir, int threads, QStringList* skipped = nullptr)
{
    QFile::remove(zip);
    TZipWriter w;
    w.SetZipName(zip);
    w.Threads = threads;
    w.PackLevel = 6;
    w.SetRelativePaths(true);
    w.SetRootDir(dir);
    w.FilesList << ">" + dir + "/*.*";
    w.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& n, int) {
        if (skipped)
            *skipped << QStringLiteral("%1 %2").arg(int(why)).arg(n);
    };
    w.Zip();
    return readFile(zip);
}

// Member names in the archive's own order, as our reader lists them.
QStringList storedNames(const QString& zip, TZipSortMode mode = ByNone)
{
    TZipReader r;
    r.SetZipName(zip);
    r.OpenZip();
    r.SetSortMode(mode);
    QStringList names;
    for (int i = 0; i < r.Count(); ++i)
        names << r.SortedMembers()->Header(i)->FullName();
    return names;
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

// An archive written by python's zipfile, members stored in the order given.
void pythonZip(const QString& zip, const QList<QPair<QString, QByteArray>>& members, const QString& dir)
{
    QString script = QStringLiteral("import zipfile\nz = zipfile.ZipFile(%1, 'w')\n").arg("'" + zip + "'");
    int i = 0;
    for (const auto& m : members) {
        const QString data = dir + QStringLiteral("/data%1").arg(i++);
        writeFile(data, m.second);
        script += QStringLiteral("z.writestr('%1', open('%2', 'rb').read())\n").arg(m.first, data);
    }
    script += "z.close()\n";
    writeFile(dir + "/make.py", script.toUtf8());
    QByteArray out;
    ASSERT_EQ(peer("python3", {dir + "/make.py"}, &out), 0) << out.toStdString();
}

// The files under dir are exactly these: names first, so that a failure reads plainly.
void expectTree(const QString& dir, const QMap<QString, QByteArray>& files)
{
    const QMap<QString, QByteArray> found = treeOf(dir);
    EXPECT_EQ(found.keys(), files.keys()) << dir.toStdString();
    EXPECT_TRUE(found == files) << dir.toStdString();
}

} // namespace

TEST(NameCase, FilesDifferingInCaseAreAllArchivedOnOneAndEightThreads)
{
    TempDir t;
    const QMap<QString, QByteArray> files = makeCaseTree(t.file("src"));
    QStringList skipped;
    const QByteArray one = zipFolder(t.file("one.zip"), t.file("src"), 1, &skipped);
    const QByteArray eight = zipFolder(t.file("eight.zip"), t.file("src"), 8, &skipped);
    EXPECT_TRUE(skipped.isEmpty()) << skipped.join(", ").toStdString();
    EXPECT_TRUE(one == eight);

    // Folder by folder, each in the case-insensitive name order, ties upper case first.
    const QStringList expected{"Doc\\notes.txt", "doc\\b.bin", "doc\\notes.txt", "html\\Index.html",
                               "html\\index.html", "html\\Types.html", "README", "readme"};
    EXPECT_EQ(storedNames(t.file("one.zip")), expected);
    EXPECT_EQ(sorted(storedNames(t.file("one.zip"), ByName)), sorted(expected));

    // Peers see every member with its own bytes.
    QStringList slashed;
    for (QString n : expected)
        slashed << n.replace('\\', '/');
    if (haveTool("unzip")) {
        QByteArray out;
        ASSERT_EQ(peer("unzip", {"-Z1", t.file("one.zip")}, &out), 0);
        EXPECT_EQ(sorted(QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts)), sorted(slashed));
        ASSERT_EQ(peer("unzip", {"-q", "-d", t.file("peer"), t.file("one.zip")}, &out), 0) << out.toStdString();
        expectTree(t.file("peer"), files);
    }
    MV_REQUIRE_TOOL("python3");
    QByteArray out;
    ASSERT_EQ(peer("python3", {"-c", "import sys, zipfile\n"
                                     "z = zipfile.ZipFile(sys.argv[1])\n"
                                     "assert z.testzip() is None\n"
                                     "print('\\n'.join(z.namelist()))",
                               t.file("eight.zip")},
                   &out),
              0)
        << out.toStdString();
    EXPECT_EQ(sorted(QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts)), sorted(slashed));

    // Our reader writes every file back, on one thread and on many.
    for (int threads : {1, 8}) {
        const QString dest = t.file(QStringLiteral("x%1").arg(threads));
        TZipReader r;
        r.SetZipName(t.file("one.zip"));
        r.SetDestDir(dest);
        r.DoAll = true;
        r.RecreateDirs = true;
        r.Threads = threads;
        QStringList skippedOut;
        r.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& n, int) {
            skippedOut << QStringLiteral("%1 %2").arg(int(why)).arg(n);
        };
        EXPECT_EQ(r.UnZip(), 8) << threads;
        EXPECT_TRUE(skippedOut.isEmpty()) << skippedOut.join(", ").toStdString();
        expectTree(dest, files);
    }
}

TEST(NameCase, UpdateReplacesOnlyTheMemberOfTheExactName)
{
    TempDir t;
    writeFile(t.file("a/README.TXT"), "old upper");
    TZipWriter w;
    w.SetZipName(t.file("u.zip"));
    w.FilesList << t.file("a/README.TXT");
    ASSERT_EQ(w.Zip(), 1);

    // A lower-case file is a new member; the old one stays as it was.
    writeFile(t.file("b/readme.txt"), "new lower");
    TZipWriter add;
    add.SetZipName(t.file("u.zip"));
    add.ZipAction = zaReplace;
    add.FilesList << t.file("b/readme.txt");
    EXPECT_EQ(add.Zip(), 1);
    EXPECT_EQ(storedNames(t.file("u.zip")), (QStringList{"README.TXT", "readme.txt"}));

    // Replacing the upper-case file touches that member only.
    writeFile(t.file("a/README.TXT"), "new upper");
    TZipWriter rep;
    rep.SetZipName(t.file("u.zip"));
    rep.ZipAction = zaReplace;
    rep.FilesList << t.file("a/README.TXT");
    EXPECT_EQ(rep.Zip(), 1);
    EXPECT_EQ(storedNames(t.file("u.zip")), (QStringList{"README.TXT", "readme.txt"}));

    // Freshening adds no file whose name is in the archive only in another case.
    writeFile(t.file("c/Readme.txt"), "third spelling");
    TZipWriter fresh;
    fresh.SetZipName(t.file("u.zip"));
    fresh.ZipAction = zaFreshen;
    fresh.FilesList << t.file("c/Readme.txt");
    EXPECT_EQ(fresh.Zip(), 0);

    const Extracted ex = unzipAll(t.file("u.zip"), t.file("x"));
    EXPECT_EQ(ex.count, 2);
    expectTree(t.file("x"), (QMap<QString, QByteArray>{{"README.TXT", "new upper"}, {"readme.txt", "new lower"}}));

    // Another archive whose name differs only in case is another file.
    TZipWriter other;
    other.SetZipName(t.file("u.zip"));
    other.SetZipName(t.file("U.zip"));
    other.FilesList << t.file("c/Readme.txt");
    EXPECT_EQ(other.Zip(), 1);
    EXPECT_EQ(storedNames(t.file("U.zip")), QStringList{"Readme.txt"});
    EXPECT_EQ(storedNames(t.file("u.zip")), (QStringList{"README.TXT", "readme.txt"}));
}

TEST(NameCase, RelativePathsNeedTheRootInItsExactCase)
{
    TempDir t;
    writeFile(t.file("Docs/a.txt"), "under the root");
    writeFile(t.file("docs/a.txt"), "beside it");
    TZipWriter w;
    w.SetZipName(t.file("r.zip"));
    w.SetRelativePaths(true);
    w.SetRootDir(t.file("Docs"));
    w.FilesList << t.file("Docs/a.txt") << t.file("docs/a.txt");
    EXPECT_EQ(w.Zip(), 2);
    QString other = t.file("docs/").mid(1);
    other.replace('/', '\\');
    EXPECT_EQ(storedNames(t.file("r.zip")), (QStringList{"a.txt", other + "a.txt"}));
}

TEST(NameCase, ExtractionWritesBothAndSelectsByExactName)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    pythonZip(t.file("p.zip"),
              {{"a.txt", "lower"}, {"A.txt", "upper"}, {"dir/x", "lower folder"}, {"Dir/x", "upper folder"},
               {"B.txt", "b"}},
              t.path());
    const Extracted all = unzipAll(t.file("p.zip"), t.file("all"));
    EXPECT_EQ(all.count, 5);
    EXPECT_TRUE(all.skipped.isEmpty()) << all.skipped.join(", ").toStdString();
    expectTree(t.file("all"), (QMap<QString, QByteArray>{{"a.txt", "lower"},
                                                                {"A.txt", "upper"},
                                                                {"dir/x", "lower folder"},
                                                                {"Dir/x", "upper folder"},
                                                                {"B.txt", "b"}}));

    // A plain name selects its own member; a wildcard matches without regard to case, as ever.
    auto extract = [&](const QStringList& select, const QString& dest) {
        TZipReader r;
        r.SetZipName(t.file("p.zip"));
        r.SetDestDir(dest);
        r.RecreateDirs = true;
        r.OverwriteMode = Always;
        r.FilesList = select;
        return r.UnZip();
    };
    EXPECT_EQ(extract({"A.txt", "dir/x"}, t.file("plain")), 2);
    expectTree(t.file("plain"), (QMap<QString, QByteArray>{{"A.txt", "upper"}, {"dir/x", "lower folder"}}));
    EXPECT_EQ(extract({"a.*"}, t.file("wild")), 2);
    expectTree(t.file("wild"), (QMap<QString, QByteArray>{{"a.txt", "lower"}, {"A.txt", "upper"}}));

    // A file already on disk is in the way of its own exact name only.
    writeFile(t.file("keep/a.txt"), "on disk");
    TZipReader r;
    r.SetZipName(t.file("p.zip"));
    r.SetDestDir(t.file("keep"));
    r.RecreateDirs = true;
    r.OverwriteMode = Never;
    r.FilesList = {"*.txt"};
    EXPECT_EQ(r.UnZip(), 2);
    expectTree(t.file("keep"), (QMap<QString, QByteArray>{{"a.txt", "on disk"}, {"A.txt", "upper"}, {"B.txt", "b"}}));
}

TEST(NameCase, NamesWithoutCasePairsKeepTheirOrder)
{
    // Zipping goes through each folder in the case-insensitive order, and the reader's name
    // order is that order too: as archives were always written and listed.
    TempDir t;
    for (const char* n : {"b.txt", "C.txt", "a.txt", "_x.txt", "Zed.txt", "[1].txt"})
        writeFile(t.file(QStringLiteral("s/") + n), n);
    zipFolder(t.file("o.zip"), t.file("s"), 1);
    const QStringList order{"[1].txt", "_x.txt", "a.txt", "b.txt", "C.txt", "Zed.txt"};
    EXPECT_EQ(storedNames(t.file("o.zip")), order);
    EXPECT_EQ(storedNames(t.file("o.zip"), ByName), order);
    EXPECT_EQ(storedNames(t.file("o.zip"), ByFileName), order);
}
