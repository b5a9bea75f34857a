// The folder tree of the catalog chooser and the node manager.
#include "FolderTree.h"

#include <QDir>
#include <QEvent>
#include <QFileSystemModel>
#include <QPersistentModelIndex>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

TFolderTree::TFolderTree(QWidget* parent, const QString& objectName) : QObject(parent)
{
    model = new QFileSystemModel(parent);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model->setRootPath(QStringLiteral("/"));
    view = new QTreeView(parent);
    view->setObjectName(objectName);
    view->setModel(model);
    for (int c = 1; c < model->columnCount(); ++c)
        view->hideColumn(c);
    view->setHeaderHidden(true);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    // The model reads folders in the background and sorts them afterwards: every row that
    // arrives above the folder shown pushes it down, out of view.
    connect(model, &QFileSystemModel::directoryLoaded, this, &TFolderTree::scrollSoon);
    connect(model, &QAbstractItemModel::rowsInserted, this, &TFolderTree::scrollSoon);
    connect(model, &QAbstractItemModel::layoutChanged, this, &TFolderTree::scrollSoon);
    for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()})
        connect(bar, &QAbstractSlider::actionTriggered, this, [this] { following_.clear(); });
}

void TFolderTree::openAt(const QString& folder)
{
    following_ = QDir::cleanPath(folder);
    const QModelIndex at = model->index(following_);
    for (QModelIndex p = at.parent(); p.isValid(); p = p.parent())
        view->expand(p);
    view->setCurrentIndex(at);
    view->scrollTo(at);
    scrollSoon();
}

void TFolderTree::scrollSoon()
{
    if (following_.isEmpty() || scrollQueued_)
        return;
    scrollQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        scrollQueued_ = false;
        if (following_.isEmpty() || !view->isVisible())
            return;
        const QModelIndex at = model->index(following_);
        if (at.isValid() && view->currentIndex() == at)
            view->scrollTo(at, QAbstractItemView::PositionAtCenter);
    });
}

bool TFolderTree::eventFilter(QObject* o, QEvent* e)
{
    switch (e->type()) {
    case QEvent::Show:
    case QEvent::Resize:
        if (o == view)
            scrollSoon();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        following_.clear();
        break;
    case QEvent::KeyPress:
        if (o == view) {
            following_.clear();
            // The view moves the selection after this filter: compare once it has.
            const QPersistentModelIndex before = view->currentIndex();
            QTimer::singleShot(0, this, [this, before] {
                if (view->currentIndex() != QModelIndex(before))
                    emit chosenWithKeyboard();
            });
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(o, e);
}

QString TFolderTree::selected() const
{
    const QModelIndex at = view->currentIndex();
    if (!at.isValid() || !view->selectionModel()->isSelected(at))
        return QString();
    return model->filePath(at);
}
