#pragma once
#include "platform/dialogs/Dialogs.h"

namespace platform {

// The desktop implementation of the dialogs interface: Qt's message boxes, file and folder
// dialogs, owned by the active window so they stay above it.
class QtDialogs : public Dialogs {
public:
    MsgResult message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override;
    QString openFileName(const QString& caption, const QString& dir, const QString& filter) override;
    QStringList openFileNames(const QString& caption, const QString& dir, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& dir, const QString& filter) override;
    QString folderName(const QString& caption, const QString& dir) override;
    bool inputText(const QString& caption, const QString& prompt, QString& value) override;
};

} // namespace platform
