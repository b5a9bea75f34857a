#pragma once
#include "app/UnitSlova.h"
#include "editor/REMain.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/text/CodePage.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

// An editor window over a temporary catalog; the main window only holds the shared state.
// Message boxes and file dialogs are answered by a script that records them.
class EditorTest : public ::testing::Test {
protected:
    // The main window is made once: only its state is used.
    static void SetUpTestSuite()
    {
        if (!FormSlova)
            FormSlova = new TFormSlova();
    }
    static void TearDownTestSuite()
    {
        delete FormSlova;
        FormSlova = nullptr;
    }
    EditorTest()
    {
        SetUpTestSuite();
        FormSlova->EditorShown = 0;
        FormSlova->ProjectPath = dir.path();
        FormSlova->ProgramDir = dir.path();
        form = new TFormEdit();
        FormEdit = form;
        form->resize(700, 500);
    }
    ~EditorTest() override
    {
        delete form;
        FormEdit = nullptr;
    }

    // What the main window does when a note node is clicked.
    void openNode(const QString& text)
    {
        FormSlova->CurrentNodeText = text;
        form->show();
        form->FormShow();
        form->EditFileFromTree();
    }
    QString file(const QString& name) const { return dir.file(name); }
    QByteArray read(const QString& path) const { return testsupport::readFile(path); }
    void write(const QString& path, const QByteArray& data) const { testsupport::writeFile(path, data); }
    static QByteArray cp1251(const QString& s) { return platform::toCp1251(s); }
    QString panel1() const { return form->StatusPanel1->text(); }
    // Types text as key presses (characters beyond ASCII as input of their own).
    void type(const QString& text)
    {
        for (QChar c : text) {
            if (c.unicode() < 128) {
                QTest::keyClick(form->Editor, c.toLatin1());
                continue;
            }
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(form->Editor, &press);
        }
    }

    testsupport::TempDir dir;
    platform::ScopedScriptedDialogs dialogs;
    TFormEdit* form = nullptr;
};
