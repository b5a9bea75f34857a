#include "Dialogs.h"

namespace platform {

namespace {
std::unique_ptr<Dialogs>& current()
{
    static std::unique_ptr<Dialogs> d = std::make_unique<ScriptedDialogs>();
    return d;
}

MsgResult firstButton(MsgButtons b)
{
    switch (b) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel: return MsgResult::Yes;
    case MsgButtons::RetryCancel: return MsgResult::Retry;
    case MsgButtons::AbortRetryIgnore: return MsgResult::Abort;
    case MsgButtons::Ok:
    case MsgButtons::OkCancel: break;
    }
    return MsgResult::Ok;
}
} // namespace

Dialogs& dialogs() { return *current(); }

namespace {
QPointer<QObject>& owner()
{
    static QPointer<QObject> o;
    return o;
}
} // namespace

DialogOwner::DialogOwner(QObject* window) : previous_(owner()) { owner() = window; }
DialogOwner::~DialogOwner() { owner() = previous_; }
QObject* DialogOwner::current() { return owner(); }

QString Dialogs::openFileNameReadOnly(const QString& caption, const QString& dir, const QString& filter, bool& readOnly)
{
    readOnly = false;
    return openFileName(caption, dir, filter);
}

bool Dialogs::fontDialog(FontChoice&) { return false; }

std::shared_ptr<QPrinter> Dialogs::printDialog(const QString&) { return nullptr; }

std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> d)
{
    std::unique_ptr<Dialogs> old = std::move(current());
    current() = d ? std::move(d) : std::make_unique<ScriptedDialogs>();
    return old;
}

MsgResult Dialogs::notice(const QString& text, const QString& details, MsgIcon icon)
{
    return message(details.isEmpty() ? text : text + QStringLiteral("\n\n") + details, QString(), MsgButtons::Ok, icon);
}

QStringList ScriptedDialogs::messages() const
{
    QStringList out;
    for (const Shown& s : shown_)
        if (s.kind == QLatin1String("message"))
            out.append(s.text);
    return out;
}

MsgResult ScriptedDialogs::message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon)
{
    shown_.append({QStringLiteral("message"), text, caption.isEmpty() ? QStringLiteral("Morvanel") : caption, buttons});
    if (answers_.empty())
        return firstButton(buttons);
    MsgResult r = answers_.front();
    answers_.pop_front();
    return r;
}

QString ScriptedDialogs::nextFile()
{
    if (files_.empty())
        return QString();
    QString f = files_.front();
    files_.pop_front();
    return f;
}

QString ScriptedDialogs::openFileName(const QString& caption, const QString&, const QString&)
{
    shown_.append({QStringLiteral("open"), caption, caption});
    return nextFile();
}

QStringList ScriptedDialogs::openFileNames(const QString& caption, const QString&, const QString&)
{
    shown_.append({QStringLiteral("openMany"), caption, caption});
    QString f = nextFile();
    return f.isEmpty() ? QStringList() : f.split('\n');
}

QString ScriptedDialogs::saveFileName(const QString& caption, const QString&, const QString&)
{
    shown_.append({QStringLiteral("save"), caption, caption});
    return nextFile();
}

QString ScriptedDialogs::folderName(const QString& caption, const QString&)
{
    shown_.append({QStringLiteral("folder"), caption, caption});
    return nextFile();
}

bool ScriptedDialogs::inputText(const QString& caption, const QString& prompt, QString& value)
{
    shown_.append({QStringLiteral("input"), prompt, caption});
    if (texts_.empty())
        return false;
    value = texts_.front();
    texts_.pop_front();
    return true;
}

QString ScriptedDialogs::openFileNameReadOnly(const QString& caption, const QString&, const QString&, bool& readOnly)
{
    shown_.append({QStringLiteral("open"), caption, caption});
    readOnly = false;
    if (!readOnly_.empty()) {
        readOnly = readOnly_.front();
        readOnly_.pop_front();
    }
    return nextFile();
}

bool ScriptedDialogs::fontDialog(FontChoice& font)
{
    shown_.append({QStringLiteral("font"), font.name, QString()});
    if (fonts_.empty())
        return false;
    font = fonts_.front();
    fonts_.pop_front();
    return true;
}

std::shared_ptr<QPrinter> ScriptedDialogs::printDialog(const QString& caption)
{
    shown_.append({QStringLiteral("print"), caption, caption});
    if (printers_.empty())
        return nullptr;
    std::shared_ptr<QPrinter> p = std::move(printers_.front());
    printers_.pop_front();
    return p;
}

ScopedScriptedDialogs::ScopedScriptedDialogs()
{
    auto d = std::make_unique<ScriptedDialogs>();
    d_ = d.get();
    previous_ = setDialogs(std::move(d));
}

ScopedScriptedDialogs::~ScopedScriptedDialogs() { setDialogs(std::move(previous_)); }

} // namespace platform
