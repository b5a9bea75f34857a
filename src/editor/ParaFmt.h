#pragma once
// The paragraph dialog TParaFormatDlg behind the editor's "Format" -> "Paragraph" command.
#include <QDialog>

#include <functional>

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;
class TNoteParaAttributes;
class TValueSpinEdit;

class TParaFormatDlg : public QDialog {
    Q_OBJECT
public:
    explicit TParaFormatDlg(QWidget* parent = nullptr);

    QGroupBox* IndentBox;
    TValueSpinEdit *LeftIndent, *RightIndent, *FirstIndent;
    QGroupBox* Alignment; // items "Left", "Right", "Center"
    QButtonGroup* AlignmentGroup;
    QRadioButton *AlignLeft, *AlignRight, *AlignCenter;
    QGroupBox* SpacingBox;
    TValueSpinEdit *SpaceBefore, *SpaceAfter, *LineSpacing;
    QPushButton *OkBtn, *CancelBtn;

    // The radio group's item index: 0 left, 1 right, 2 center; -1 when none is checked.
    int ItemIndex() const;
    void SetItemIndex(int index);

    // Shows the dialog for the paragraph attributes; true when the user pressed OK and the
    // attributes were written. Runs modally; the dialog is freed in every case.
    static bool Execute(TNoteParaAttributes* attributes, QWidget* parent = nullptr);


private:
    void FormCreate();
};
