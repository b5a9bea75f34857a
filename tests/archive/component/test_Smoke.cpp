#include "ComponentSupport.h"

using namespace ziptest;
using namespace archive;

TEST(ZipSmoke, WriteThenReadBack)
{
    TempDir t;
    writeFile(t.file("src/a.txt"), textBytes(100000));
    writeFile(t.file("src/b.bin"), randomBytes(5000));
    writeFile(t.file("src/empty"), QByteArray());
    TZipWriter w;
    w.SetZipName(t.file("out.zip"));
    w.PackLevel = 0;
    w.Password = "pw";
    w.FilesList << t.file("src/a.txt") << t.file("src/b.bin") << t.file("src/empty");
    EXPECT_EQ(w.Zip(), 3);
    QByteArray out;
    EXPECT_EQ(peer("unzip", {"-P", "pw", "-t", t.file("out.zip")}, &out), 0) << out.constData();
    Extracted ex = unzipAll(t.file("out.zip"), t.file("x"), "pw");
    EXPECT_EQ(ex.count, 3);
    EXPECT_EQ(treeOf(t.file("x")), treeOf(t.file("src")));
}
