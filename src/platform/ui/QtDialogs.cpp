#include "QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace platform {

namespace {

QWidget* owner() { return QApplication::activeWindow(); }

QString captionOr(const QString& c) { return c.isEmpty() ? QStringLiteral("Morvanel") : c; }

// Filters come in the "Text files (*.txt)|*.txt|All (*.*)|*.*" form or in Qt's own form.
QString qtFilter(const QString& filter)
{
    if (!filter.contains('|'))
        return filter;
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(';', ' ');
        out.append(parts[i].contains('(') ? parts[i] : QStringLiteral("%1 (%2)").arg(parts[i], pattern));
    }
    return out.join(QStringLiteral(";;"));
}

} // namespace

MsgResult QtDialogs::message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    QMessageBox box(owner());
    box.setWindowTitle(captionOr(caption));
    box.setText(text);
    switch (icon) {
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MsgIcon::None: break;
    }
    QMessageBox::StandardButtons b;
    switch (buttons) {
    case MsgButtons::Ok: b = QMessageBox::Ok; break;
    case MsgButtons::OkCancel: b = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MsgButtons::YesNo: b = QMessageBox::Yes | QMessageBox::No; break;
    case MsgButtons::YesNoCancel: b = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case MsgButtons::RetryCancel: b = QMessageBox::Retry | QMessageBox::Cancel; break;
    case MsgButtons::AbortRetryIgnore: b = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore; break;
    }
    box.setStandardButtons(b);
    switch (box.exec()) {
    case QMessageBox::Ok: return MsgResult::Ok;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    case QMessageBox::Retry: return MsgResult::Retry;
    case QMessageBox::Abort: return MsgResult::Abort;
    case QMessageBox::Ignore: return MsgResult::Ignore;
    default: break;
    }
    // Closing the box with its close button counts as its escape button.
    if (buttons == MsgButtons::Ok)
        return MsgResult::Ok;
    if (buttons == MsgButtons::YesNo)
        return MsgResult::No;
    if (buttons == MsgButtons::AbortRetryIgnore)
        return MsgResult::Abort;
    return MsgResult::Cancel;
}

QString QtDialogs::openFileName(const QString& caption, const QString& dir, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner(), captionOr(caption), dir, qtFilter(filter));
}

QStringList QtDialogs::openFileNames(const QString& caption, const QString& dir, const QString& filter)
{
    return QFileDialog::getOpenFileNames(owner(), captionOr(caption), dir, qtFilter(filter));
}

QString QtDialogs::saveFileName(const QString& caption, const QString& dir, const QString& filter)
{
    return QFileDialog::getSaveFileName(owner(), captionOr(caption), dir, qtFilter(filter));
}

QString QtDialogs::folderName(const QString& caption, const QString& dir)
{
    QString d = QFileDialog::getExistingDirectory(owner(), captionOr(caption), dir);
    if (!d.isEmpty() && !d.endsWith('/'))
        d += '/';
    return d;
}

bool QtDialogs::inputText(const QString& caption, const QString& prompt, QString& value)
{
    bool ok = false;
    QString v = QInputDialog::getText(owner(), captionOr(caption), prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = v;
    return ok;
}

} // namespace platform
