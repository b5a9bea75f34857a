// The about box shown by "Author".
#include "AppFixture.h"

#include "app/About.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

TEST_F(AppTest, AuthorShowsTheFixedAboutBoxWithAnEmptyTitle)
{
    start();
    EXPECT_EQ(FormA->windowTitle(), "About Morvanel");
    QAction* author = nullptr;
    for (QAction* a : FormSlova->MenuHelp->actions())
        if (a->text() == "Author")
            author = a;
    ASSERT_NE(author, nullptr);
    author->trigger();
    EXPECT_TRUE(FormA->isVisible());
    EXPECT_TRUE(FormA->windowTitle().trimmed().isEmpty());
    auto* title = FormA->findChild<QLabel*>("Title");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), "Morvanel V.4.27");
    EXPECT_TRUE(title->alignment() & Qt::AlignHCenter);
    const QSize size = FormA->size();
    EXPECT_EQ(FormA->minimumSize(), size);
    EXPECT_EQ(FormA->maximumSize(), size);
    FormA->resize(size.width() + 100, size.height() + 100);
    EXPECT_EQ(FormA->size(), size);
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    EXPECT_NEAR(FormA->x() + FormA->width() / 2, s.width() / 2, 2);
    EXPECT_NEAR(FormA->y() + FormA->height() / 2, s.height() / 2, 2);
    FormA->ButtonOK->click();
    EXPECT_FALSE(FormA->isVisible());
}
