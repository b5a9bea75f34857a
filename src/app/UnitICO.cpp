// The icon palette: shows node icons 0 to 13; a click gives the selected node that icon.
#include "UnitICO.h"

#include "NodeIcons.h"
#include "TreeFile.h"
#include "UnitSlova.h"
#include "platform/dialogs/Dialogs.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

TFormICO* FormICO = nullptr;

namespace {
// The palette as one strip of icons.
const QSize kStrip(14 * 28 + 24, 40);
} // namespace

TFormICO::TFormICO() : TForm(QStringLiteral("FormICO")), IL(TImageList::nodeImages())
{
    // Staying on top and sitting at the top edge are requests: the window manager decides.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    auto* v = new QHBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    LV1 = new QListWidget(this);
    LV1->setObjectName(QStringLiteral("LV1"));
    LV1->setViewMode(QListView::IconMode);
    LV1->setFlow(QListView::LeftToRight);
    LV1->setIconSize(QSize(16, 16));
    LV1->setMovement(QListView::Static);
    LV1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LV1->setResizeMode(QListView::Adjust); // the icons wrap into rows when the palette is narrowed
    for (int k = 0; k < 14; ++k)
        LV1->addItem(new QListWidgetItem(IL.nodeIcon(k, k + 20), QString()));
    v->addWidget(LV1, 1);
    // Without a frame there is no title bar: the palette brings its own close button (and Esc).
    ButtonClose = new QToolButton(this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    ButtonClose->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    ButtonClose->setToolTip(QStringLiteral("close"));
    ButtonClose->setAutoRaise(true);
    ButtonClose->setFocusPolicy(Qt::NoFocus);
    ButtonClose->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    v->addWidget(ButtonClose);
    connect(ButtonClose, &QToolButton::clicked, this, &TFormICO::close1Click);
    PopupLV1 = new QMenu(this);
    PopupLV1->setObjectName(QStringLiteral("PopupLV1"));
    connect(PopupLV1->addAction(QStringLiteral("close")), &QAction::triggered, this, &TFormICO::close1Click);
    setPopupMenu(LV1, PopupLV1);
    connect(LV1, &QListWidget::itemClicked, this, &TFormICO::LV1Click);
    resize(kStrip);
}

QSize TFormICO::fittedTo(int width) const
{
    const int space = LV1->spacing();
    const QSize cell = LV1->sizeHintForIndex(LV1->model()->index(0, 0)) + QSize(space, space);
    const int frame = 2 * LV1->frameWidth() + space + 2;
    const int perRow = std::max(1, (width - frame - ButtonClose->sizeHint().width()) / std::max(1, cell.width()));
    const int rows = int((LV1->count() + perRow - 1) / perRow);
    return {std::min(width, kStrip.width()), std::max(kStrip.height(), rows * cell.height() + frame)};
}

void TFormICO::ShowBeside(QWidget* mainWindow, QWidget* tree)
{
    // A click meant for a menu or a tool bar must never reach the palette, which assigns an icon
    // at once: beside the window when the screen has room there, else just below the tool bar,
    // over the top of the tree and no wider than it, since the editor panel beside the tree has
    // its own menu and tool bar.
    const QRect frame = mainWindow->frameGeometry();
    const QRect screen = mainWindow->screen()->availableGeometry();
    QPoint at;
    if (screen.right() - frame.right() >= kStrip.width()) {
        resize(kStrip);
        at = QPoint(frame.right() + 1, frame.top());
    } else {
        resize(fittedTo(tree->width()));
        at = tree->mapToGlobal(QPoint(0, 0));
    }
    at.setX(std::clamp(at.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - width())));
    at.setY(std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - height())));
    move(at);
    show();
    raise();
    activateWindow(); // so that Esc reaches it
}

void TFormICO::LV1Click()
{
    QListWidgetItem* item = LV1->currentItem();
    TFormSlova* m = FormSlova;
    if (!item || !m || m->NoCatalog)
        return;
    QTreeWidgetItem* node = m->Tree1->currentItem();
    if (!node)
        return;
    const int k = LV1->row(item);
    treefile::setImageIndex(node, k);
    m->Tree1->viewport()->update();
    // Written at once, also in read-only mode; never a tree whose reading stopped early.
    if (m->Tree1->topLevelItemCount() > 0 && !m->TreeIncomplete) {
        platform::DialogOwner owner(this); // a failure is told above the palette
        m->WriteTreeAndIcons();
    }
}
