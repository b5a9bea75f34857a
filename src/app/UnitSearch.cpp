#include "UnitSearch.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TFormSearch* FormSearch = nullptr;

TFormSearch::TFormSearch() : TForm(QStringLiteral("FormSearch"))
{
    setWindowTitle(QStringLiteral("Search form"));
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel(QStringLiteral("Search form"), this));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    ListFind = new QListWidget(this);
    ListFind->setObjectName(QStringLiteral("ListFind"));
    Button3 = new QPushButton(QStringLiteral("Close"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    v->addWidget(Edit1);
    v->addWidget(ListFind);
    v->addWidget(Button3);
    connect(Button3, &QPushButton::clicked, this, &QWidget::close);
    resize(300, 320);
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    move((s.width() - width()) / 2, (s.height() - height()) / 4 * 2);
}
