#include "platform/settings/SettingsStore.h"
#include "support/TestSupport.h"

#include <QDir>

using namespace platform;

namespace {
// Points the settings at a temporary config folder for the life of a test.
class ConfigHome {
public:
    ConfigHome() : old_(qgetenv("XDG_CONFIG_HOME")) { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path())); }
    ~ConfigHome() { qputenv("XDG_CONFIG_HOME", old_); }
    QString path() const { return dir_.path(); }

private:
    testsupport::TempDir dir_;
    QByteArray old_;
};
} // namespace

TEST(SettingsStore, LivesUnderXdgConfigHomeAsTextValues)
{
    ConfigHome home;
    SettingsStore reg;
    EXPECT_EQ(reg.filePath(), home.path() + "Zov.ini");
    EXPECT_TRUE(reg.writeInteger("formSlova_width", 768));
    EXPECT_TRUE(reg.writeBool("ShowDirForm", true));
    EXPECT_TRUE(reg.writeBool("ShowWordsForm", false));
    EXPECT_TRUE(reg.writeString("path", "/home/u/Notes/"));
    const QString text = QString::fromUtf8(testsupport::readFile(reg.filePath()));
    EXPECT_TRUE(text.contains("[Morvanel]"));
    EXPECT_TRUE(text.contains("formSlova_width=768"));
    EXPECT_TRUE(text.contains("ShowDirForm=1"));
    EXPECT_TRUE(text.contains("ShowWordsForm=0"));
    EXPECT_EQ(SettingsStore().readString("path", "x"), "/home/u/Notes/");
    EXPECT_EQ(SettingsStore().readInteger("formSlova_width", 0), 768);
}

TEST(SettingsStore, MissingOrNonNumericValuesGiveTheDefault)
{
    ConfigHome home;
    SettingsStore reg;
    EXPECT_EQ(reg.readInteger("index2", 7), 7);
    EXPECT_FALSE(reg.valueExists("index2"));
    reg.writeString("index2", "abc");
    EXPECT_TRUE(reg.valueExists("index2"));
    EXPECT_EQ(reg.readInteger("index2", 7), 7);
    EXPECT_TRUE(reg.readBool("ShowDirForm", true));
    EXPECT_EQ(reg.readString("FileName", ""), "");
}

TEST(SettingsStore, ValuesWrittenByAnotherProgramAreSeenAtOnce)
{
    ConfigHome home;
    SettingsStore reg;
    reg.writeInteger("Redraw", 0);
    reg.writeString("path", "C:\\a\\b\\");
    // Another program rewrites the file while a store object is alive.
    QByteArray text = testsupport::readFile(reg.filePath());
    text.replace("Redraw=0", "Redraw=2");
    testsupport::writeFile(reg.filePath(), text);
    EXPECT_EQ(reg.readInteger("Redraw", 0), 2);
    EXPECT_EQ(reg.readString("path", ""), "C:\\a\\b\\"); // backslashes survive a round trip
}

TEST(SettingsStore, OtherSectionsOfTheFileAreKept)
{
    ConfigHome home;
    SettingsStore reg;
    testsupport::writeFile(reg.filePath(), "[Other]\nRedraw=5\n; note\n[Morvanel]\nRedraw=1\n");
    reg.writeInteger("Redraw", 0);
    reg.writeString("FileName", "line\nbreak");
    EXPECT_EQ(SettingsStore("Software\\Zov", "Other").readInteger("Redraw", 0), 5);
    EXPECT_EQ(reg.readInteger("Redraw", 9), 0);
    EXPECT_EQ(reg.readString("FileName", ""), "line\nbreak");
    EXPECT_TRUE(testsupport::readFile(reg.filePath()).contains("; note"));
}

TEST(SettingsStore, FilesOfOtherWritersReadAsTheyMean)
{
    ConfigHome home;
    SettingsStore reg;
    // As a text editor or Python's configparser leaves it: a byte order mark, another case of the
    // section and value names, blanks around "=", a hand-typed path with a backslash.
    testsupport::writeFile(reg.filePath(),
                           "\xEF\xBB\xBF[morvanel]\r\nredraw = 1\r\npath = /home/u/Notes\\Work/\r\n");
    EXPECT_EQ(reg.readInteger("Redraw", 0), 1);
    EXPECT_EQ(reg.readString("path", ""), "/home/u/Notes\\Work/");
    EXPECT_TRUE(reg.writeInteger("Redraw", 0));
    EXPECT_EQ(reg.readInteger("Redraw", 9), 0);
    const QByteArray text = testsupport::readFile(reg.filePath());
    EXPECT_EQ(text.count("["), 1) << text.toStdString(); // the same section, not a second one
    EXPECT_EQ(text.toLower().count("redraw"), 1) << text.toStdString();

    // Values of our own that begin or end with blanks or quotes come back unchanged.
    for (const QString& v : {QStringLiteral("  two blanks first"), QStringLiteral("trailing  "),
                             QStringLiteral("\"quoted\""), QStringLiteral("\t tab"), QStringLiteral("a\\nb\\\\c")}) {
        EXPECT_TRUE(reg.writeString("FileName", v));
        EXPECT_EQ(reg.readString("FileName", ""), v);
    }
}
