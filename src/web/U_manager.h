#pragma once
#include "PageFetch.h"
#include "app/Forms.h"

#include <QStringList>

#include <array>

class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QThreadPool;
class QTimer;
class QVBoxLayout;

namespace platform {
class BrowserControl;
}

// The download manager: fetches the catalog's queued pages with three slots and merges each
// into its task file; at the end of a run the main window adds the new pages to the tree.
class TFormM : public TForm {
    Q_OBJECT
public:
    TFormM();

    QListWidget* LB_files; // "Files for download"
    QListWidget* LB_URLs;  // hidden, in step with LB_files
    QString DownloadDir;
    QWidget* PanelControl;
    std::array<QProgressBar*, 3> ProgressBar{};
    std::array<QPushButton*, 3> Load{};
    std::array<QPushButton*, 3> Stop{};
    std::array<QPushButton*, 3> Show{};
    std::array<QCheckBox*, 3> Use{};
    std::array<QLabel*, 3> SlotState{}; // what the slot does or why its last fetch failed
    // The views of "Show n", made when first shown.
    std::array<platform::BrowserControl*, 3> WB{};
    QTimer* Timer1;
    QMenuBar* MainMenu1;
    QAction* Preparelist1;
    QAction* StartDownload1;
    QAction* Stopdownload1;
    QAction* Close1;
    QAction* Onestep1;
    QMenu* PopupMenu1;
    QAction* Deletefromdownload1;
    QAction* Deletetaskfile1;
    QAction* Showkategoryform1;

    void Preparelist1Click();
    void StartDownload1Click();
    void Stopdownload1Click();
    void Onestep1Click();
    // Slot n is 1, 2 or 3.
    void StartSlot(int n);
    void StopSlot(int n);
    void ShowSlot(int n);
    void Timer1Timer();
    void Deletefromdownload1Click();
    void Deletetaskfile1Click();
    void Showkategoryform1Click();
    void LB_filesClick();

    struct Slot {
        QString address, taskFile, scratch;
        QString lastMerged; // the task file merged last, shown by "Show n"
        PageFetch* fetch = nullptr;
    };
    const Slot& slot(int n) const { return slots_[n - 1]; }
    bool fetching(int n) const { return slots_[n - 1].fetch->running(); }
    // Fetched pages still being merged into their task files (off the GUI thread).
    int pendingMerges() const { return int(merging_.size()); }
    // Something is fetched or merged.
    bool busy() const { return fetching(1) || fetching(2) || fetching(3) || !merging_.isEmpty(); }
    ~TFormM() override;
    void FormDestroy() override;

    void reject() override;

signals:
    // One item of the queue is done: merged (detail: the merged size) or failed (the reason).
    void itemDone(const QString& file, const QString& address, bool ok, const QString& detail);

protected:
    bool event(QEvent* e) override;

private:
    void complete(int n, const FetchResult& r);
    void merged(int n, const QString& taskFile, const QString& address, bool ok, const QString& detail, bool showIt);
    void closeHeaderEditor();
    std::array<Slot, 3> slots_;
    QStringList merging_;
    QThreadPool* pool_ = nullptr;
    quint64 scratchCounter_ = 0;
    QVBoxLayout* views_ = nullptr;
    int shown_ = 0;
};

extern TFormM* FormM;
