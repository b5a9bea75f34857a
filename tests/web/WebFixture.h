#pragma once
#include "AppFixture.h"

#include "platform/shell/Launcher.h"
#include "platform/text/CodePage.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>

// A started program on a prepared catalog "Cat" beside the program, with node pages written in
// the tests; the launcher records instead of starting programs.
class WebTest : public AppTest {
protected:
    WebTest()
    {
        auto l = std::make_unique<platform::RecordingLauncher>();
        launched = l.get();
        oldLauncher_ = platform::setLauncher(std::move(l));
    }
    ~WebTest() override
    {
        if (FormSlova)
            DestroyWindows();
        platform::setLauncher(std::move(oldLauncher_));
    }

    static QByteArray cp(const QString& s) { return platform::toCp1251(s); }

    // Starts on a catalog whose tree file holds the given lines (tabs for levels).
    void startOn(const QString& menue)
    {
        cat = makeCatalog(QStringLiteral("Cat"), cp(menue));
        start();
    }
    // Makes a node current as a click on it does.
    void current(const QString& nodeText, const QString& file)
    {
        FormSlova->CurrentNodeText = nodeText;
        FormSlova->CurrentFile = file;
    }
    // Types text as key presses, also characters that have no key on a US keyboard.
    static void typeText(QWidget* w, const QString& text)
    {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(w, &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(w, &release);
        }
    }
    qint64 mtime(const QString& p) const { return QFileInfo(p).lastModified().toMSecsSinceEpoch(); }

    QString cat;
    platform::RecordingLauncher* launched = nullptr;

private:
    std::unique_ptr<platform::Launcher> oldLauncher_;
};
