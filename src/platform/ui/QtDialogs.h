#pragma once
#include "platform/dialogs/Dialogs.h"

#include <memory>

namespace platform {

// The desktop implementation of the dialogs interface: Qt's message boxes, file and folder
// dialogs, owned by the window that raised them (DialogOwner), else by the active window, so
// they stay above it.
class QtDialogs : public Dialogs {
public:
    MsgResult message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override;
    MsgResult notice(const QString& text, const QString& details, MsgIcon icon) override;
    QString openFileName(const QString& caption, const QString& dir, const QString& filter) override;
    QStringList openFileNames(const QString& caption, const QString& dir, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& dir, const QString& filter) override;
    QString folderName(const QString& caption, const QString& dir) override;
    bool inputText(const QString& caption, const QString& prompt, QString& value) override;
    QString openFileNameReadOnly(const QString& caption, const QString& dir, const QString& filter,
                                 bool& readOnly) override;
    bool fontDialog(FontChoice& font) override;
    std::shared_ptr<QPrinter> printDialog(const QString& caption) override;
};

// A printer that writes a PDF file (what a print dialog hands out when the user prints to a file).
std::shared_ptr<QPrinter> pdfPrinter(const QString& fileName);

// A file dialog filter in Qt's form whose patterns match without regard to letter case, as the
// Windows dialogs did ("*.RTF" also shows "note.rtf"). Takes "Text|*.txt|..." or Qt's form.
QString caseInsensitiveFilter(const QString& filter);

} // namespace platform
