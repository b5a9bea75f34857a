#pragma once
#include <QHash>
#include <QIcon>
#include <QList>
#include <QPixmap>

// The node icons of the tree: 40 pictures of 16 x 16 pixels, icon n + 20 being icon n while its
// node is selected. The icon palette's image list and the main window's tree share them.
class TImageList {
public:
    int Count() const { return int(images_.size()); }
    QPixmap image(int index) const;
    // The picture of a node: image when not selected, selectedImage when selected. Numbers
    // outside the list show nothing. Icons are cached, so a large tree shares a handful of them.
    QIcon nodeIcon(int image, int selectedImage) const;

    static const TImageList& nodeImages();

private:
    TImageList();
    QList<QPixmap> images_;
    mutable QHash<qint64, QIcon> cache_;
};
