#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace platform {

// Starting other programs: a program with a file, or a file or address with the desktop's
// default program. Behind an interface so tests record instead of starting anything.
class Launcher {
public:
    virtual ~Launcher() = default;
    // "notepad.exe" stands for the desktop's plain-text editor; other names are looked up on PATH.
    virtual bool startProgram(const QString& program, const QStringList& args) = 0;
    virtual bool openDocument(const QString& fileOrUrl) = 0;
    // Hands a rich-text note to the word processor (the installed office suite's writer).
    virtual bool openInWordProcessor(const QString& file) = 0;
};

Launcher& launcher();
std::unique_ptr<Launcher> setLauncher(std::unique_ptr<Launcher> l);

// Records every request and starts nothing (the default until the program sets a real one).
class RecordingLauncher : public Launcher {
public:
    struct Call {
        QString program; // empty for openDocument
        QStringList args;
        QString document;
    };
    bool startProgram(const QString& program, const QStringList& args) override
    {
        calls.append({program, args, QString()});
        return result;
    }
    bool openDocument(const QString& fileOrUrl) override
    {
        calls.append({QString(), QStringList(), fileOrUrl});
        return result;
    }
    // Recorded with the program name "WordProcessor".
    bool openInWordProcessor(const QString& file) override
    {
        calls.append({QStringLiteral("WordProcessor"), QStringList{file}, QString()});
        return result;
    }
    QList<Call> calls;
    bool result = true;
};

// The desktop implementation: detached processes, xdg-open for documents and addresses.
class DesktopLauncher : public Launcher {
public:
    bool startProgram(const QString& program, const QStringList& args) override;
    bool openDocument(const QString& fileOrUrl) override;
    bool openInWordProcessor(const QString& file) override;
    // The plain-text editor that stands for "notepad.exe": the first installed of the usual ones.
    static QString textEditor();
};

} // namespace platform
