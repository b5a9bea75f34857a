#pragma once
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class QPrinter;

namespace platform {

// A font as the font dialog shows and answers it.
struct FontChoice {
    QString name;
    int size = 10; // points
    bool bold = false, italic = false, underline = false, strikeOut = false;
    static constexpr int AutoColor = -1;
    int color = AutoColor; // 0xRRGGBB, or the automatic colour (the desktop's text colour)
};

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgResult { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

// Every question and notice the program shows goes through this interface, so tests can
// answer them without a modal loop. A caption left empty means "Morvanel".
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MsgResult message(const QString& text, const QString& caption = QString(),
                              MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None) = 0;
    // A notice with an OK button whose long part (a list of files, say) stands in the box's
    // details, which the user opens on request: the box stays small enough for the screen.
    // By default the details follow the text, after an empty line.
    virtual MsgResult notice(const QString& text, const QString& details, MsgIcon icon = MsgIcon::None);
    // An empty result means the user cancelled.
    virtual QString openFileName(const QString& caption, const QString& dir, const QString& filter) = 0;
    virtual QStringList openFileNames(const QString& caption, const QString& dir, const QString& filter) = 0;
    // Does not ask before replacing an existing file: the caller asks.
    virtual QString saveFileName(const QString& caption, const QString& dir, const QString& filter) = 0;
    virtual QString folderName(const QString& caption, const QString& dir) = 0;
    // Returns false when cancelled.
    virtual bool inputText(const QString& caption, const QString& prompt, QString& value) = 0;
    // The open dialog with an "Open as read-only" check box; readOnly gets its state.
    virtual QString openFileNameReadOnly(const QString& caption, const QString& dir, const QString& filter,
                                         bool& readOnly);
    // The font dialog with a text colour: starts from font; false when cancelled, else font holds
    // the choice. What the user did not change comes back as it went in, even where the desktop
    // shows another font in its place (a family that is not installed).
    virtual bool fontDialog(FontChoice& font);
    // The print dialog: a printer ready to print on, or none when cancelled.
    virtual std::shared_ptr<QPrinter> printDialog(const QString& caption);
};

// The instance in use. Until one is set, a scripted instance that answers every question with
// its default is used (safe for tools and tests that set nothing).
Dialogs& dialogs();
// Takes ownership; returns the previous one.
std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> d);

inline MsgResult showMessage(const QString& text) { return dialogs().message(text); }

// While it lives, the questions and notices shown belong to this window: they show above it, also
// when it stays on top of the others. Without one, the active window owns them, which is not the
// window that raised them while, say, a drag from another window ends there.
class DialogOwner {
public:
    explicit DialogOwner(QObject* window);
    ~DialogOwner();
    DialogOwner(const DialogOwner&) = delete;
    DialogOwner& operator=(const DialogOwner&) = delete;
    // The owner in force, or null.
    static QObject* current();

private:
    QPointer<QObject> previous_;
};

// Test implementation: answers from a script and records what was shown, in order.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString kind; // "message", "open", "openMany", "save", "folder", "input", "font", "print"
        QString text; // the message text, or the dialog's caption
        QString caption;
        MsgButtons buttons = MsgButtons::Ok;
    };

    // Answers are taken in order; when none is left, a message gets its first button's
    // result (Ok or Yes, Retry, Abort) and a file dialog is cancelled.
    void pushAnswer(MsgResult r) { answers_.push_back(r); }
    void pushFileName(const QString& f) { files_.push_back(f); }
    void pushText(const QString& t) { texts_.push_back(t); }
    // The state of the read-only check box of the next open dialog (unchecked when none).
    void pushReadOnly(bool r) { readOnly_.push_back(r); }
    void pushFont(const FontChoice& f) { fonts_.push_back(f); }
    // The next print dialog hands out this printer; see pdfPrinter (platform/ui/QtDialogs.h)
    // for a PDF printer writing to a file. With none left, the dialog is cancelled.
    void pushPrinter(std::shared_ptr<QPrinter> p) { printers_.push_back(std::move(p)); }

    const QList<Shown>& shown() const { return shown_; }
    QStringList messages() const; // the texts of the message boxes, in order
    void clear() { shown_.clear(); }

    MsgResult message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override;
    QString openFileName(const QString& caption, const QString& dir, const QString& filter) override;
    QStringList openFileNames(const QString& caption, const QString& dir, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& dir, const QString& filter) override;
    QString folderName(const QString& caption, const QString& dir) override;
    bool inputText(const QString& caption, const QString& prompt, QString& value) override;
    QString openFileNameReadOnly(const QString& caption, const QString& dir, const QString& filter,
                                 bool& readOnly) override;
    bool fontDialog(FontChoice& font) override;
    std::shared_ptr<QPrinter> printDialog(const QString& caption) override;

private:
    QString nextFile();
    std::deque<bool> readOnly_;
    std::deque<FontChoice> fonts_;
    std::deque<std::shared_ptr<QPrinter>> printers_;
    std::deque<MsgResult> answers_;
    std::deque<QString> files_;
    std::deque<QString> texts_;
    QList<Shown> shown_;
};

// Installs a ScriptedDialogs for the life of the object and gives access to it.
class ScopedScriptedDialogs {
public:
    ScopedScriptedDialogs();
    ~ScopedScriptedDialogs();
    ScriptedDialogs* operator->() { return d_; }
    ScriptedDialogs& get() { return *d_; }

private:
    ScriptedDialogs* d_;
    std::unique_ptr<Dialogs> previous_;
};

} // namespace platform
