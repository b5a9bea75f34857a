// The public RTF files through the note control: every file loads as rich text (damaged ones
// at least without a crash), and a save keeps the text and the pictures' bytes.
#include "editor/NoteEdit.h"
#include "platform/richedit/RichFormat.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <gtest/gtest.h>

namespace {

QList<QByteArray> pictureBytes(const QTextDocument& doc)
{
    QList<QByteArray> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat())
                out << platform::richPicture(f.toImageFormat()).bytes;
            else if (platform::isRichObject(f))
                out << platform::richObject(f).bytes;
        }
    return out;
}

} // namespace

TEST(Testdata, EveryRtfLoadsAndSavesKeepingTextAndPictures)
{
    MV_REQUIRE_TESTDATA();
    const QString root = testsupport::testdataDir() + QStringLiteral("/rtf");
    // Files whose braces do not balance (INDEX.tsv); everything else must read as RTF.
    QStringList damaged;
    const QList<QByteArray> index = testsupport::readFile(root + QStringLiteral("/INDEX.tsv")).split('\n');
    for (const QByteArray& line : index) {
        const QList<QByteArray> cols = line.split('\t');
        if (cols.size() > 4 && cols[4].startsWith("UNBALANCED"))
            damaged << QString::fromUtf8(cols[0]);
    }
    testsupport::TempDir dir;
    int files = 0, pictures = 0;
    QDirIterator it(root, QStringList{QStringLiteral("*.rtf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = path.mid(root.size() + 1);
        SCOPED_TRACE(rel.toStdString());
        ++files;
        TNoteEdit edit;
        ASSERT_NO_THROW(edit.Lines()->LoadFromFile(path));
        if (damaged.contains(rel))
            continue;
        EXPECT_FALSE(edit.Text().startsWith(QLatin1String("{\\rtf"))) << "read as plain text";
        const QList<QByteArray> before = pictureBytes(*edit.document());
        pictures += int(before.size());
        const QString text = edit.Text();
        edit.Lines()->SaveToFile(dir.file(QStringLiteral("saved.rtf")));

        TNoteEdit again;
        again.Lines()->LoadFromFile(dir.file(QStringLiteral("saved.rtf")));
        EXPECT_EQ(again.Text(), text);
        EXPECT_EQ(pictureBytes(*again.document()), before);
    }
    EXPECT_GE(files, 50);
    EXPECT_GT(pictures, 0);
}
