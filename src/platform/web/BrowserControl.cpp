// The browser control's interface, its factory and the recording fake.
#include "BrowserControl.h"

#include "WebEngineBrowser.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

namespace platform {

namespace {
BrowserFactory& factory()
{
    static BrowserFactory f;
    return f;
}
} // namespace

BrowserControl* createBrowser(QWidget* parent)
{
    if (factory())
        return factory()(parent);
    return new WebEngineBrowser(parent);
}

BrowserFactory setBrowserFactory(BrowserFactory f)
{
    BrowserFactory old = std::move(factory());
    factory() = std::move(f);
    return old;
}

void FakeBrowser::navigate(const QUrl& url)
{
    navigations.append(url);
    url_ = url;
    if (holdLoads)
        return;
    ++pending_;
    QTimer::singleShot(0, this, [this, url] {
        --pending_;
        emit loadFinished(url, true);
    });
}

bool isPageFileName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("htm") || suffix == QLatin1String("html") || suffix == QLatin1String("shtml");
}

QStringList BrowserControl::links(int timeoutMs)
{
    return runScript(QStringLiteral("Array.from(document.links, function (a) { return a.href; })"), timeoutMs).toStringList();
}

namespace {
// A text as a script's string literal.
QString jsString(const QString& text)
{
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}
} // namespace

bool BrowserControl::hasDocument(int timeoutMs)
{
    if (url().isEmpty())
        return false;
    return runScript(QStringLiteral("!!(document && document.documentElement)"), timeoutMs).toBool();
}

QString BrowserControl::selectedText(int timeoutMs)
{
    return runScript(QStringLiteral("String(window.getSelection ? window.getSelection() : '')"), timeoutMs).toString();
}

QString BrowserControl::documentEncoding(int timeoutMs)
{
    return runScript(QStringLiteral("document.characterSet"), timeoutMs).toString();
}

QList<BrowserControl::Element> BrowserControl::elements(const QString& tag, int timeoutMs)
{
    const QString script = QStringLiteral(
        "Array.from(document.getElementsByTagName(%1), function (e) {"
        " return [e.tagName.toUpperCase(), e.innerText === undefined ? '' : String(e.innerText),"
        " e.tagName.toUpperCase() == 'A' && e.href ? String(e.href) : '']; })")
                               .arg(jsString(tag.isEmpty() ? QStringLiteral("*") : tag));
    QList<Element> out;
    for (const QVariant& v : runScript(script, timeoutMs).toList()) {
        const QVariantList e = v.toList();
        if (e.size() == 3)
            out.append({e.at(0).toString(), e.at(1).toString(), e.at(2).toString()});
    }
    return out;
}

bool BrowserControl::setElementText(const QString& tag, int index, const QString& text, int timeoutMs)
{
    const QString script = QStringLiteral("(function () { var e = document.getElementsByTagName(%1)[%2];"
                                          " if (!e) return false; e.innerText = %3; return true; })()")
                               .arg(jsString(tag.isEmpty() ? QStringLiteral("*") : tag))
                               .arg(index)
                               .arg(jsString(text));
    return runScript(script, timeoutMs).toBool();
}

void BrowserControl::setPopupMenu(QMenu* menu) { popup_ = menu; }

QMenu* BrowserControl::popupMenu() const { return qobject_cast<QMenu*>(popup_.data()); }

BrowserControl* browserOf(QObject* object)
{
    for (QObject* o = object; o; o = o->parent()) {
        if (auto* b = qobject_cast<BrowserControl*>(o))
            return b;
        // A top-level window ends the search: a browser is never the parent of another window.
        if (o->isWidgetType() && static_cast<QWidget*>(o)->isWindow())
            return nullptr;
    }
    return nullptr;
}

namespace {
// The application-wide right-click rule for browser controls.
class BrowserMouseHook : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            auto* me = static_cast<QMouseEvent*>(e);
            if (me->button() != Qt::RightButton || !o->isWidgetType())
                return false;
            BrowserControl* b = browserOf(o);
            if (!b)
                return false;
            if (e->type() == QEvent::MouseButtonRelease)
                showMenu(b, me->globalPosition().toPoint());
            return true;
        }
        case QEvent::ContextMenu: {
            if (!o->isWidgetType())
                return false;
            BrowserControl* b = browserOf(o);
            if (!b)
                return false;
            auto* ce = static_cast<QContextMenuEvent*>(e);
            // A mouse request was answered on the release; the engine's own menu never opens.
            if (ce->reason() != QContextMenuEvent::Mouse)
                showMenu(b, keyboardPoint(b));
            return true;
        }
        case QEvent::KeyPress: {
            auto* ke = static_cast<QKeyEvent*>(e);
            const bool menuKey = ke->key() == Qt::Key_Menu
                || (ke->key() == Qt::Key_F10 && (ke->modifiers() & Qt::ShiftModifier));
            if (!menuKey || !o->isWidgetType())
                return false;
            BrowserControl* b = browserOf(o);
            if (!b)
                return false;
            showMenu(b, keyboardPoint(b));
            return true;
        }
        default:
            return false;
        }
    }

private:
    // From the keyboard: at the mouse when it is over the browser, else in its middle.
    static QPoint keyboardPoint(BrowserControl* b)
    {
        const QPoint cursor = QCursor::pos();
        if (b->rect().contains(b->mapFromGlobal(cursor)))
            return cursor;
        return b->mapToGlobal(b->rect().center());
    }
    static void showMenu(BrowserControl* b, const QPoint& at)
    {
        QMenu* menu = b->popupMenu();
        if (!menu || menu->isVisible())
            return;
        // Shown after the event is handled: the release that opened it must not pick an item.
        QPointer<QMenu> guard(menu);
        QTimer::singleShot(0, menu, [guard, at] {
            if (guard && !guard->isVisible())
                guard->popup(at);
        });
    }
};

QPointer<BrowserMouseHook>& hook()
{
    static QPointer<BrowserMouseHook> h;
    return h;
}
} // namespace

void installBrowserMouseHook()
{
    if (hook() || !qApp)
        return;
    hook() = new BrowserMouseHook(qApp);
    qApp->installEventFilter(hook());
}

bool browserMouseHookInstalled() { return !hook().isNull(); }

QVariant FakeBrowser::runScript(const QString& script, int)
{
    scripts.append(script);
    return scriptResult;
}

bool FakeBrowser::waitLoaded(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (pending_ > 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pending_ == 0;
}

} // namespace platform
