#include "About.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFormA* FormA = nullptr;

TFormA::TFormA() : TForm(QStringLiteral("FormA"))
{
    setWindowTitle(QStringLiteral("About Morvanel"));
    auto* v = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("Morvanel V.4.27"), this);
    title->setObjectName(QStringLiteral("Title"));
    title->setAlignment(Qt::AlignCenter);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    auto* h = new QHBoxLayout;
    h->addStretch();
    h->addWidget(ButtonOK);
    v->addWidget(title);
    v->addWidget(line);
    v->addLayout(h);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormA::cancel_);
    adjustSize();
    // A dialog border: the box keeps its size.
    setFixedSize(width() + 40, height() + 40);
    setSizeGripEnabled(false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    centreOnScreen();
}

void TFormA::showEvent(QShowEvent* e)
{
    // The title bar stays empty: a title of no characters would make the desktop show the
    // program's name there instead, so it is one blank.
    setWindowTitle(QStringLiteral(" "));
    TForm::showEvent(e);
}
