// Task file names cut from search words and addresses at a character count: a character outside
// the basic plane that the cut splits must not leave half of itself in the name, which the file
// system would store as "?" (a name other systems refuse, and not the name the program keeps).
#include "web/TaskFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tasks;

namespace {
const QString Smile = QString::fromUcs4(U"\U0001F600");
}

TEST(TaskNames, ACutThroughACharacterLeavesNoHalfOfIt)
{
    // Characters 8 to 22 of the address: the smile's first half is the 22nd.
    EXPECT_EQ(linkNameText(QStringLiteral("http://examplesite.co") + Smile + QStringLiteral("/p")),
              QStringLiteral("examplesite_co_"));
    // Whole, it stays.
    EXPECT_EQ(linkNameText(QStringLiteral("http://example.") + Smile + QStringLiteral("/page")),
              QStringLiteral("example_") + Smile + QStringLiteral("_page"));
    // A "url:" line keeps 50 characters from its 8th: the 50th is the smile's first half.
    const QString fill(49, u'a');
    EXPECT_EQ(wordsNameText(QStringLiteral("url:htt") + fill + Smile + QStringLiteral("b")), fill + QStringLiteral("_"));
    EXPECT_EQ(wordsNameText(QStringLiteral("words ") + Smile), QStringLiteral("words ") + Smile);
}

TEST(TaskNames, TheLengthLimitNeverSplitsACharacterAndTheFileHasTheNameGiven)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    // Learn the number the generator gives next, then start it again at the same point.
    seedRandom(7);
    const QString suffix = QLatin1Char('_') + QString::number(tasks::random().bounded(100000000));
    seedRandom(7);
    // The last 51 characters begin with the smile's second half.
    const QString tail(50 - suffix.size(), u'a');
    const QString base = uniqueBaseName(folder, Smile + tail, true);
    EXPECT_EQ(base, QLatin1Char('_') + tail + suffix);

    const QString name = linkNameText(QStringLiteral("http://examplesite.co") + Smile);
    for (const QString& b : {base, name}) {
        QString error;
        ASSERT_TRUE(writeTaskFile(folder + b + QStringLiteral(".htm"), nullptr, QStringLiteral("http://h/"), &error)) << error.toStdString();
        EXPECT_TRUE(QDir(folder).entryList(QDir::Files).contains(b + QStringLiteral(".htm")));
    }
}
