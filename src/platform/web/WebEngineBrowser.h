#pragma once
#include "BrowserControl.h"

class QWebEnginePage;
class QWebEngineView;

namespace platform {

// The browser control on Qt WebEngine. All browsers of the program share one private
// profile that keeps nothing on disk and refuses every download.
class WebEngineBrowser : public BrowserControl {
    Q_OBJECT
public:
    explicit WebEngineBrowser(QWidget* parent = nullptr);
    void navigate(const QUrl& url) override;
    void stop() override;
    QUrl url() const override;
    QString title() const override;
    QVariant runScript(const QString& script, int timeoutMs = 5000) override;
    bool waitLoaded(int timeoutMs = 10000) override;

    QWebEngineView* view() const { return view_; }

private:
    // Shows a page object for local files (no page scripts) or for the rest, a new one when
    // the kind changes.
    void usePage(bool local);
    QWebEngineView* view_;
    QWebEnginePage* page_ = nullptr;
    bool local_ = false;
    QUrl requested_;
    bool loading_ = false;
    bool lastOk_ = true;
};

} // namespace platform
