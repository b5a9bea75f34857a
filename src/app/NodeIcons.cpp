#include "NodeIcons.h"

#include <QHash>

static void initNodeIconResources() { Q_INIT_RESOURCE(nodeicons); }

TImageList::TImageList()
{
    initNodeIconResources();
    for (int i = 0; i < 40; ++i)
        images_.append(QPixmap(QStringLiteral(":/nodeicons/node%1.png").arg(i, 2, 10, QLatin1Char('0'))));
}

const TImageList& TImageList::nodeImages()
{
    static const TImageList list;
    return list;
}

QPixmap TImageList::image(int index) const
{
    return index >= 0 && index < images_.size() ? images_.at(index) : QPixmap();
}

QIcon TImageList::nodeIcon(int image, int selectedImage) const
{
    const qint64 key = (qint64(image) << 32) | quint32(selectedImage);
    auto it = cache_.constFind(key);
    if (it != cache_.constEnd())
        return *it;
    QIcon icon;
    QPixmap normal = this->image(image);
    QPixmap selected = this->image(selectedImage);
    if (!normal.isNull())
        icon.addPixmap(normal, QIcon::Normal);
    if (!selected.isNull())
        icon.addPixmap(selected, QIcon::Selected);
    else if (!normal.isNull())
        icon.addPixmap(normal, QIcon::Selected);
    cache_.insert(key, icon);
    return icon;
}
