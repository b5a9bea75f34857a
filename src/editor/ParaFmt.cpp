#include "ParaFmt.h"

#include "NoteEdit.h"
#include "ValueSpin.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <memory>

namespace {

// The largest indent and spacing word processors accept (31,680 twips): larger values would
// overflow the twips or lay out a paragraph millions of pixels tall.
constexpr int ParaLimit = 1584;

int clampPoints(int v) { return qBound(-ParaLimit, v, ParaLimit); }

// The dialog's six spin edits carry the standard buttons.
TValueSpinEdit* spinEdit(QWidget* parent, const QString& name)
{
    auto* e = new TValueSpinEdit(parent);
    e->setObjectName(name);
    e->SetDecimal(0);
    e->SetButtonKind(bkStandard);
    return e;
}

} // namespace

TParaFormatDlg::TParaFormatDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ParaFormatDlg"));
    setWindowTitle(QStringLiteral("Paragraph"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    top->addLayout(row);

    IndentBox = new QGroupBox(QStringLiteral(" Indentation "), this);
    IndentBox->setObjectName(QStringLiteral("IndentBox"));
    auto* indents = new QFormLayout(IndentBox);
    auto indent = [this, indents](const QString& name, const QString& label) {
        TValueSpinEdit* e = spinEdit(IndentBox, name);
        e->SetValueType(vtInteger);
        e->SetAlignment(Qt::AlignRight);
        auto* l = new QLabel(label, IndentBox);
        l->setBuddy(e);
        indents->addRow(l, e);
        return e;
    };
    LeftIndent = indent(QStringLiteral("LeftIndent"), QStringLiteral("&Left: "));
    RightIndent = indent(QStringLiteral("RightIndent"), QStringLiteral("&Right: "));
    FirstIndent = indent(QStringLiteral("FirstIndent"), QStringLiteral("&First line: "));
    row->addWidget(IndentBox);

    Alignment = new QGroupBox(QStringLiteral(" Alignment "), this);
    Alignment->setObjectName(QStringLiteral("Alignment"));
    auto* items = new QVBoxLayout(Alignment);
    AlignmentGroup = new QButtonGroup(this);
    auto item = [this, items](const QString& text, int index) {
        auto* b = new QRadioButton(text, Alignment);
        AlignmentGroup->addButton(b, index);
        items->addWidget(b);
        return b;
    };
    AlignLeft = item(QStringLiteral("Left"), 0);
    AlignRight = item(QStringLiteral("Right"), 1);
    AlignCenter = item(QStringLiteral("Center"), 2);
    AlignLeft->setChecked(true);
    row->addWidget(Alignment);

    SpacingBox = new QGroupBox(QStringLiteral(" Spacing "), this);
    SpacingBox->setObjectName(QStringLiteral("SpacingBox"));
    auto* spacing = new QFormLayout(SpacingBox);
    auto space = [this, spacing](const QString& name, const QString& label) {
        TValueSpinEdit* e = spinEdit(SpacingBox, name);
        e->SetMaxValue(2147483647.0);
        auto* l = new QLabel(label, SpacingBox);
        l->setBuddy(e);
        spacing->addRow(l, e);
        return e;
    };
    SpaceBefore = space(QStringLiteral("SpaceBefore"), QStringLiteral("Space &before: "));
    SpaceAfter = space(QStringLiteral("SpaceAfter"), QStringLiteral("Space &after: "));
    LineSpacing = space(QStringLiteral("LineSpacing"), QStringLiteral("Li&ne spacing: "));
    LineSpacing->SetIncrement(5);
    top->addWidget(SpacingBox);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    OkBtn = new QPushButton(QStringLiteral("OK"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    top->addLayout(buttons);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    FormCreate();
}

void TParaFormatDlg::FormCreate()
{
    setWindowTitle(QStringLiteral("Paragraph form"));
    SpacingBox->setEnabled(RichEditVersion >= 2);
}

int TParaFormatDlg::ItemIndex() const { return AlignmentGroup->checkedId(); }

void TParaFormatDlg::SetItemIndex(int index)
{
    if (QAbstractButton* b = AlignmentGroup->button(index)) {
        b->setChecked(true);
        return;
    }
    // No item: an exclusive group lets go of its checked button only while it is not exclusive.
    AlignmentGroup->setExclusive(false);
    for (QAbstractButton* b : AlignmentGroup->buttons())
        b->setChecked(false);
    AlignmentGroup->setExclusive(true);
}

bool TParaFormatDlg::Execute(TNoteParaAttributes* attributes, QWidget* parent)
{
    std::unique_ptr<TParaFormatDlg> dlg(new TParaFormatDlg(parent ? parent->window() : nullptr));
    dlg->LeftIndent->SetAsInteger(attributes->LeftIndent());
    dlg->RightIndent->SetAsInteger(attributes->RightIndent());
    dlg->FirstIndent->SetAsInteger(attributes->FirstIndent());
    // A justified paragraph shows no item and stays justified unless the user picks one.
    const TNoteAlignment alignment = attributes->Alignment();
    dlg->SetItemIndex(alignment == taJustify ? -1 : int(alignment));
    dlg->SpaceBefore->SetAsInteger(attributes->SpaceBefore());
    dlg->SpaceAfter->SetAsInteger(attributes->SpaceAfter());
    dlg->LineSpacing->SetAsInteger(attributes->LineSpacing());
    if (dlg->exec() != QDialog::Accepted)
        return false;
    // A value still being typed is limited as on leaving the field.
    for (TValueSpinEdit* e : {dlg->SpaceBefore, dlg->SpaceAfter, dlg->LineSpacing})
        e->SetValue(e->Value());
    attributes->SetLeftIndent(clampPoints(dlg->LeftIndent->GetAsInteger()));
    attributes->SetRightIndent(clampPoints(dlg->RightIndent->GetAsInteger()));
    attributes->SetFirstIndent(clampPoints(dlg->FirstIndent->GetAsInteger()));
    if (dlg->ItemIndex() >= 0)
        attributes->SetAlignment(TNoteAlignment(dlg->ItemIndex()));
    attributes->SetSpaceBefore(clampPoints(dlg->SpaceBefore->GetAsInteger()));
    attributes->SetSpaceAfter(clampPoints(dlg->SpaceAfter->GetAsInteger()));
    const int lineSpacing = clampPoints(dlg->LineSpacing->GetAsInteger());
    attributes->SetLineSpacingRule(lineSpacing < 1 ? 0 : 3);
    attributes->SetLineSpacing(lineSpacing);
    return true;
}
