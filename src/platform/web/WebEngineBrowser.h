#pragma once
#include "BrowserControl.h"

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
    QWebEngineView* view_;
    QUrl requested_;
    bool loading_ = false;
    bool lastOk_ = true;
};

} // namespace platform
