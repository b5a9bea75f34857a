#include "QtDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QScreen>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace platform {

namespace {

QWidget* owner()
{
    if (auto* w = qobject_cast<QWidget*>(DialogOwner::current()); w && w->isVisible())
        return w->window();
    return QApplication::activeWindow();
}

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

QString caseInsensitiveFilter(const QString& filter)
{
    // Every letter of a pattern inside the parentheses becomes a [xX] class.
    const QStringList entries = qtFilter(filter).split(QStringLiteral(";;"));
    QStringList out;
    static const QRegularExpression patterns(QStringLiteral("^(.*)\\(([^()]*)\\)\\s*$"));
    for (const QString& entry : entries) {
        const QRegularExpressionMatch m = patterns.match(entry);
        if (!m.hasMatch()) {
            out.append(entry);
            continue;
        }
        QString p;
        // Qt separates patterns by spaces; the Windows form by ";".
        for (QChar c : m.captured(2)) {
            if (c == ';')
                p += QLatin1Char(' ');
            else if (c.isLetter() && c.toLower() != c.toUpper())
                p += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
            else
                p += c;
        }
        out.append(m.captured(1) + QLatin1Char('(') + p + QLatin1Char(')'));
    }
    return out.join(QStringLiteral(";;"));
}

std::shared_ptr<QPrinter> pdfPrinter(const QString& fileName)
{
    auto p = std::make_shared<QPrinter>(QPrinter::HighResolution);
    p->setOutputFormat(QPrinter::PdfFormat);
    p->setOutputFileName(fileName);
    return p;
}

namespace {
// A box as tall as a long list would put its buttons off the screen: the lines that do not fit
// go into the details, which open on request in a scrolling field of a fixed height.
void fitToScreen(QMessageBox& box, const QString& text, const QString& details)
{
    const QScreen* screen = box.parentWidget() ? box.parentWidget()->screen() : QGuiApplication::primaryScreen();
    // Room for the title bar, the frame and the opened details field.
    const int room = (screen ? screen->availableGeometry().height() : 480) - 200;
    QStringList shown = text.split(QLatin1Char('\n')), moved;
    box.setText(text);
    box.setDetailedText(details);
    while (shown.size() > 1 && box.sizeHint().height() > room) {
        const qsizetype keep = box.sizeHint().height() > 2 * room ? shown.size() / 2 : shown.size() - 1;
        moved = shown.mid(keep) + moved;
        shown = shown.mid(0, keep);
        box.setText(shown.join(QLatin1Char('\n')) + QStringLiteral("\n(More in the details.)"));
        box.setDetailedText(moved.join(QLatin1Char('\n')) + (details.isEmpty() ? QString() : QLatin1Char('\n') + details));
    }
}

MsgResult showBox(const QString& text, const QString& details, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    QMessageBox box(owner());
    box.setWindowTitle(captionOr(caption));
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
    fitToScreen(box, text, details);
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
} // namespace

MsgResult QtDialogs::message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    return showBox(text, QString(), caption, buttons, icon);
}

MsgResult QtDialogs::notice(const QString& text, const QString& details, MsgIcon icon)
{
    return showBox(text, details, QString(), MsgButtons::Ok, icon);
}

QString QtDialogs::openFileName(const QString& caption, const QString& dir, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner(), captionOr(caption), dir, caseInsensitiveFilter(filter), nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

QString QtDialogs::openFileNameReadOnly(const QString& caption, const QString& dir, const QString& filter,
                                        bool& readOnly)
{
    QFileDialog dlg(owner(), captionOr(caption), dir, caseInsensitiveFilter(filter));
    dlg.setOption(QFileDialog::DontUseNativeDialog); // the check box needs Qt's own dialog
    dlg.setOption(QFileDialog::HideNameFilterDetails);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    auto* check = new QCheckBox(QStringLiteral("Open as read-only"), &dlg);
    check->setChecked(readOnly);
    if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout()))
        grid->addWidget(check, grid->rowCount(), 0, 1, -1);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    readOnly = check->isChecked();
    return dlg.selectedFiles().first();
}

namespace {

// The text colours of the font dialog: the automatic colour and the sixteen standard colours.
struct NamedColor {
    const char* name;
    QRgb rgb;
};
constexpr NamedColor StandardColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000}, {"Green", 0x008000}, {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080}, {"Teal", 0x008080},  {"Gray", 0x808080},
    {"Silver", 0xc0c0c0}, {"Red", 0xff0000},    {"Lime", 0x00ff00},  {"Yellow", 0xffff00},
    {"Blue", 0x0000ff},   {"Fuchsia", 0xff00ff}, {"Aqua", 0x00ffff}, {"White", 0xffffff},
};

QIcon swatch(const QColor& c)
{
    QPixmap pm(16, 12);
    pm.fill(c);
    QPainter p(&pm);
    p.setPen(Qt::gray);
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return QIcon(pm);
}

// A list of the colours in the dialog's effects box; a colour outside the list (from a loaded
// note) is shown as "Custom".
QComboBox* addColorList(QFontDialog& dlg, int rgb)
{
    const QColor start = rgb == FontChoice::AutoColor ? QColor() : QColor::fromRgb(QRgb(rgb));
    auto* combo = new QComboBox(&dlg);
    combo->setObjectName(QStringLiteral("ColorList"));
    combo->addItem(swatch(dlg.palette().color(QPalette::Text)), QStringLiteral("Automatic"), QColor());
    for (const NamedColor& c : StandardColors)
        combo->addItem(swatch(QColor(c.rgb)), QString::fromLatin1(c.name), QColor(c.rgb));
    int index = start.isValid() ? combo->findData(start) : 0;
    if (index < 0) {
        combo->addItem(swatch(start), QStringLiteral("Custom"), start);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
    auto* label = new QLabel(QStringLiteral("&Color:"), &dlg);
    label->setBuddy(combo);
    // The effects box holds the underline and strike-out boxes.
    QWidget* effects = nullptr;
    for (QCheckBox* box : dlg.findChildren<QCheckBox*>())
        if (box->parentWidget() != &dlg)
            effects = box->parentWidget();
    if (effects && effects->layout()) {
        effects->layout()->addWidget(label);
        effects->layout()->addWidget(combo);
    } else if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout())) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row, 1, 1, -1);
    }
    return combo;
}

// The font the dialog starts from. A family that is not installed would show as a generic family
// whose style list has no bold, so that bold text showed as "Normal": the dialog gets the family
// the desktop draws in its place, with the style of that family that has the font's weight and
// slant.
QFont shownFont(QFont font)
{
    if (QFontDatabase::hasFamily(font.family()))
        return font;
    const QString family = QFontInfo(font).family();
    if (!QFontDatabase::hasFamily(family))
        return font;
    font.setFamily(family);
    const int weight = font.bold() ? QFont::Bold : QFont::Normal;
    QString best;
    int bestDistance = 0;
    for (const QString& style : QFontDatabase::styles(family)) {
        // Oblique counts as italic. Of two faces of the same weight the plainer name wins ("Bold"
        // before "Condensed Bold").
        const QFont face = QFontDatabase::font(family, style, 12);
        if (face.bold() != font.bold() || face.italic() != font.italic())
            continue;
        const int distance = qAbs(face.weight() - weight) * 100 + int(style.size());
        if (best.isEmpty() || distance < bestDistance) {
            best = style;
            bestDistance = distance;
        }
    }
    if (!best.isEmpty())
        font.setStyleName(best);
    return font;
}

} // namespace

bool QtDialogs::fontDialog(FontChoice& font)
{
    QFont start(font.name);
    if (font.size > 0)
        start.setPointSize(font.size);
    start.setBold(font.bold);
    start.setItalic(font.italic);
    start.setUnderline(font.underline);
    start.setStrikeOut(font.strikeOut);
    QFontDialog dlg(owner());
    dlg.setOption(QFontDialog::DontUseNativeDialog); // the colour list needs Qt's own dialog
    dlg.setCurrentFont(shownFont(start));
    // A family that is not installed shows as the desktop's substitute: what the dialog shows
    // at the start stands for the font as it was, so that only what the user changes changes.
    const QFont shown = dlg.currentFont();
    QComboBox* colors = addColorList(dlg, font.color);
    const int startColor = colors->currentIndex();
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const QFont chosen = dlg.selectedFont();
    if (chosen.family() != shown.family())
        font.name = chosen.family();
    if (chosen.pointSize() > 0 && chosen.pointSize() != shown.pointSize())
        font.size = chosen.pointSize();
    if (chosen.bold() != shown.bold())
        font.bold = chosen.bold();
    if (chosen.italic() != shown.italic())
        font.italic = chosen.italic();
    if (chosen.underline() != shown.underline())
        font.underline = chosen.underline();
    if (chosen.strikeOut() != shown.strikeOut())
        font.strikeOut = chosen.strikeOut();
    if (colors->currentIndex() != startColor) {
        const QColor c = colors->currentData().value<QColor>();
        font.color = c.isValid() ? int(c.rgb() & 0xffffff) : FontChoice::AutoColor;
    }
    return true;
}

std::shared_ptr<QPrinter> QtDialogs::printDialog(const QString& caption)
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dlg(printer.get(), owner());
    dlg.setWindowTitle(captionOr(caption));
    if (dlg.exec() != QDialog::Accepted)
        return nullptr;
    return printer;
}

QStringList QtDialogs::openFileNames(const QString& caption, const QString& dir, const QString& filter)
{
    return QFileDialog::getOpenFileNames(owner(), captionOr(caption), dir, qtFilter(filter));
}

QString QtDialogs::saveFileName(const QString& caption, const QString& dir, const QString& filter)
{
    // The caller asks before an existing file is replaced: one question, not two.
    return QFileDialog::getSaveFileName(owner(), captionOr(caption), dir, qtFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
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
