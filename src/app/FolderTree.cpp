#include "FolderTree.h"

#include <QDir>
#include <QFileSystemModel>
#include <QTreeView>

TFolderTree::TFolderTree(QWidget* parent, const QString& objectName)
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
}

void TFolderTree::openAt(const QString& folder)
{
    const QModelIndex at = model->index(QDir::cleanPath(folder));
    for (QModelIndex p = at.parent(); p.isValid(); p = p.parent())
        view->expand(p);
    view->setCurrentIndex(at);
    view->scrollTo(at);
}

QString TFolderTree::selected() const
{
    const QModelIndex at = view->currentIndex();
    if (!at.isValid() || !view->selectionModel()->isSelected(at))
        return QString();
    return model->filePath(at);
}
