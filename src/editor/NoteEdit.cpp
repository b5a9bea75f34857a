#include "editor/NoteEdit.h"

#include "platform/files/AtomicFile.h"
#include "platform/richedit/PlainText.h"
#include "platform/richedit/RichLayout.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

using namespace platform;

const unsigned char RichEditVersion = 3;

// --- colours ----------------------------------------------------------------------------

QColor ColorToQColor(TColor c)
{
    if (c == clWindowText || c == clDefault)
        return QColor(0, 0, 0);
    return QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff);
}

TColor QColorToColor(const QColor& c)
{
    if (!c.isValid())
        return clWindowText;
    return TColor(c.red() | (c.green() << 8) | (c.blue() << 16));
}

// --- character attributes ---------------------------------------------------------------

QTextCharFormat TNoteTextAttributes::read() const
{
    if (type_ == atDefaultText)
        return owner_->defaultChar_;
    const QTextCursor c = owner_->textCursor();
    if (!c.hasSelection())
        return owner_->currentCharFormat();
    // The format of the first selected character.
    QTextCursor first(owner_->document());
    first.setPosition(c.selectionStart() + 1);
    return first.charFormat();
}

void TNoteTextAttributes::write(const QTextCharFormat& merge)
{
    if (type_ == atDefaultText) {
        QTextCharFormat f = owner_->defaultChar_;
        f.merge(merge);
        owner_->SetDefaultCharFormat(f);
        return;
    }
    QTextCursor c = owner_->textCursor();
    if (c.hasSelection()) {
        c.mergeCharFormat(merge);
        return;
    }
    if (type_ == atWord) {
        // The word around the caret, when the caret stands inside one.
        QTextCursor w = c;
        w.select(QTextCursor::WordUnderCursor);
        if (w.hasSelection() && w.selectionStart() < c.position() && c.position() < w.selectionEnd())
            w.mergeCharFormat(merge);
    }
    owner_->mergeCurrentCharFormat(merge);
}

RichCharProps TNoteTextAttributes::Props() const
{
    return richCharProps(read());
}

int TNoteTextAttributes::Charset() const { return Props().charset; }
void TNoteTextAttributes::SetCharset(int value)
{
    QTextCharFormat f;
    setRichCharset(f, value);
    write(f);
}

QString TNoteTextAttributes::Name() const { return Props().face.left(31); }
void TNoteTextAttributes::SetName(const QString& value)
{
    QTextCharFormat f;
    f.setFontFamilies(QStringList{value.left(31)});
    write(f);
}

int TNoteTextAttributes::Size() const { return Props().halfPoints / 2; }
void TNoteTextAttributes::SetSize(int value)
{
    QTextCharFormat f;
    setRichHalfPoints(f, value * 2);
    write(f);
}

TFontStyles TNoteTextAttributes::Style() const
{
    const RichCharProps p = Props();
    TFontStyles s = 0;
    if (p.bold)
        s |= fsBold;
    if (p.italic)
        s |= fsItalic;
    if (p.underline != RichUnderlineKind::None)
        s |= fsUnderline;
    if (p.strike)
        s |= fsStrikeOut;
    return s;
}

static void styleInto(QTextCharFormat& f, TFontStyles s, TFontStyles only = fsBold | fsItalic | fsUnderline | fsStrikeOut)
{
    if (only & fsBold)
        f.setFontWeight((s & fsBold) ? QFont::Bold : QFont::Normal);
    if (only & fsItalic)
        f.setFontItalic(s & fsItalic);
    if (only & fsUnderline)
        setRichUnderline(f, (s & fsUnderline) ? RichUnderlineKind::Single : RichUnderlineKind::None);
    if (only & fsStrikeOut)
        f.setFontStrikeOut(s & fsStrikeOut);
}

void TNoteTextAttributes::SetStyle(TFontStyles value, TFontStyles only)
{
    QTextCharFormat f;
    styleInto(f, value, only);
    write(f);
}

TColor TNoteTextAttributes::Color() const
{
    const RichCharProps p = Props();
    return p.autoColor ? clWindowText : QColorToColor(p.color);
}

static void colorInto(QTextCharFormat& f, TColor c)
{
    setRichColor(f, (c == clWindowText || c == clDefault) ? QColor() : ColorToQColor(c));
}

void TNoteTextAttributes::SetColor(TColor value)
{
    QTextCharFormat f;
    colorInto(f, value);
    write(f);
}

TFontPitch TNoteTextAttributes::Pitch() const
{
    return TFontPitch(Props().pitch & 3);
}

void TNoteTextAttributes::SetPitch(TFontPitch) {}

bool TNoteTextAttributes::Protected() const { return Props().protect; }
void TNoteTextAttributes::SetProtected(bool value)
{
    QTextCharFormat f;
    setRichProtected(f, value);
    write(f);
}

bool TNoteTextAttributes::Hidden() const { return Props().hidden; }
void TNoteTextAttributes::SetHidden(bool value)
{
    QTextCharFormat f;
    setRichHidden(f, value);
    write(f);
}

bool TNoteTextAttributes::Disabled() const { return Props().disabled; }
void TNoteTextAttributes::SetDisabled(bool value)
{
    QTextCharFormat f;
    setRichDisabled(f, value);
    write(f);
}

void TNoteTextAttributes::Assign(const TFont& font)
{
    QTextCharFormat f;
    setRichHalfPoints(f, font.Size * 2);
    colorInto(f, font.Color);
    setRichFace(f, font.Name.left(31), font.Charset, int(font.Pitch));
    styleInto(f, font.Style);
    if (font.Weight > 0)
        f.setFontWeight(qBound(100, font.Weight, 900));
    write(f);
}

void TNoteTextAttributes::Assign(const TNoteTextAttributes& source)
{
    QTextCharFormat f;
    setRichCharProps(f, source.Props());
    write(f);
}

void TNoteTextAttributes::AssignTo(TFont& font) const
{
    const RichCharProps p = Props();
    font.Color = p.autoColor ? clWindowText : QColorToColor(p.color);
    font.Name = p.face;
    font.Charset = p.charset;
    font.Style = Style();
    font.Size = p.halfPoints / 2;
    font.Pitch = TFontPitch(p.pitch & 3);
    font.Weight = p.bold ? 700 : 400;
}

// --- paragraph attributes ---------------------------------------------------------------

RichParaProps TNoteParaAttributes::Props() const
{
    return richParaProps(owner_->textCursor().blockFormat());
}

void TNoteParaAttributes::change(const std::function<void(RichParaProps&)>& f, bool)
{
    changeBlocks([&f](QTextBlockFormat&, RichParaProps& p) { f(p); });
}

void TNoteParaAttributes::changeBlocks(const std::function<void(QTextBlockFormat&, RichParaProps&)>& f)
{
    QTextCursor c = owner_->textCursor();
    QTextDocument* doc = owner_->document();
    const int start = c.selectionStart(), end = c.selectionEnd();
    QTextCursor edit(doc);
    edit.beginEditBlock();
    for (QTextBlock b = doc->findBlock(start); b.isValid(); b = b.next()) {
        QTextBlockFormat bf = b.blockFormat();
        RichParaProps p = richParaProps(bf);
        f(bf, p);
        setRichParaProps(bf, p);
        QTextCursor bc(b);
        bc.setBlockFormat(bf);
        if (b.position() + b.length() > end)
            break;
    }
    edit.endEditBlock();
}

TNoteAlignment TNoteParaAttributes::Alignment() const
{
    return TNoteAlignment(int(Props().alignment));
}
void TNoteParaAttributes::SetAlignment(TNoteAlignment value)
{
    // A right-to-left control shows left and right the other way round.
    if (owner_->layoutDirection() == Qt::RightToLeft) {
        if (value == taLeftJustify)
            value = taRightJustify;
        else if (value == taRightJustify)
            value = taLeftJustify;
    }
    change([value](RichParaProps& p) { p.alignment = RichAlignment(int(value)); });
}

int TNoteParaAttributes::FirstIndent() const { return Props().startIndent() / 20; }
void TNoteParaAttributes::SetFirstIndent(int value)
{
    // The first line moves; the following lines keep their offset from it.
    change([value](RichParaProps& p) {
        const int offset = p.offset();
        p.leftIndent = value * 20 + offset;
        p.firstIndent = -offset;
    });
}

int TNoteParaAttributes::LeftIndent() const { return Props().offset() / 20; }
void TNoteParaAttributes::SetLeftIndent(int value)
{
    // The following lines move; the first line stays.
    change([value](RichParaProps& p) {
        const int start = p.startIndent();
        p.leftIndent = start + value * 20;
        p.firstIndent = -value * 20;
    });
}

int TNoteParaAttributes::RightIndent() const { return Props().rightIndent / 20; }
void TNoteParaAttributes::SetRightIndent(int value)
{
    change([value](RichParaProps& p) { p.rightIndent = value * 20; });
}

TNumberingStyle TNoteParaAttributes::Numbering() const
{
    return Props().numbering.kind == RichNumberingKind::None ? nsNone : nsBullet;
}

void TNoteParaAttributes::SetNumbering(TNumberingStyle value)
{
    // Bullets need room for the bullet: the following lines move to at least 10 points.
    if (value == nsNone)
        SetLeftIndent(0);
    else if (LeftIndent() < 10)
        SetLeftIndent(10);
    change([value](RichParaProps& p) {
        RichNumbering n;
        if (value == nsBullet) {
            n.kind = RichNumberingKind::Bullet;
            n.font = QStringLiteral("Symbol");
            n.charset = 2;
            n.textBefore = QString(QChar(0x00B7));
        }
        p.numbering = n;
    });
}

int TNoteParaAttributes::SpaceBefore() const { return Props().spaceBefore / 20; }
void TNoteParaAttributes::SetSpaceBefore(int value)
{
    change([value](RichParaProps& p) { p.spaceBefore = value * 20; });
}

int TNoteParaAttributes::SpaceAfter() const { return Props().spaceAfter / 20; }
void TNoteParaAttributes::SetSpaceAfter(int value)
{
    change([value](RichParaProps& p) { p.spaceAfter = value * 20; });
}

namespace {
// A rule that needs a spacing (at least, exactly, multiple) set while the spacing is still 0
// cannot be told from single spacing in the paragraph's own properties; it waits here until
// the spacing comes (the paragraph dialog writes the rule first, then the spacing).
constexpr int PendingLineSpacingRule = QTextFormat::UserProperty + 0x5100;

int effectiveRule(const QTextBlockFormat& f, const RichParaProps& p)
{
    if (p.lineSpacing == 0 && f.hasProperty(PendingLineSpacingRule))
        return f.intProperty(PendingLineSpacingRule);
    return p.lineSpacingRule();
}

void setSpacing(QTextBlockFormat& f, RichParaProps& p, int rule, int value)
{
    p.setLineSpacingRule(rule, value);
    if (value == 0 && (rule == 3 || rule == 4 || rule == 5))
        f.setProperty(PendingLineSpacingRule, rule);
    else
        f.clearProperty(PendingLineSpacingRule);
}
} // namespace

int TNoteParaAttributes::LineSpacing() const { return Props().lineSpacingValue() / 20; }
void TNoteParaAttributes::SetLineSpacing(int value)
{
    // The rule stays as it was.
    changeBlocks([value](QTextBlockFormat& f, RichParaProps& p) {
        setSpacing(f, p, effectiveRule(f, p), value * 20);
    });
}

int TNoteParaAttributes::LineSpacingRule() const
{
    const QTextBlockFormat f = owner_->textCursor().blockFormat();
    return effectiveRule(f, richParaProps(f));
}

void TNoteParaAttributes::SetLineSpacingRule(int value)
{
    // The spacing stays as it was.
    changeBlocks([value](QTextBlockFormat& f, RichParaProps& p) { setSpacing(f, p, value, p.lineSpacingValue()); });
}

int TNoteParaAttributes::Tab(int index) const
{
    const RichParaProps p = Props();
    if (index < 0 || index >= p.tabs.size())
        return 0;
    return p.tabs.at(index).position / 20;
}

void TNoteParaAttributes::SetTab(int index, int value)
{
    if (index < 0 || index >= 32)
        return;
    change([index, value](RichParaProps& p) {
        while (p.tabs.size() <= index)
            p.tabs.append(RichTab{});
        p.tabs[index].position = value * 20;
    });
}

int TNoteParaAttributes::TabCount() const { return int(Props().tabs.size()); }
void TNoteParaAttributes::SetTabCount(int value)
{
    value = qBound(0, value, 32);
    change([value](RichParaProps& p) {
        while (p.tabs.size() < value)
            p.tabs.append(RichTab{});
        p.tabs.resize(value);
    });
}

void TNoteParaAttributes::Assign(const TNoteParaAttributes& source)
{
    const RichParaProps s = source.Props();
    change([s](RichParaProps& p) { p = s; });
}

// --- conversions ------------------------------------------------------------------------

qint64 TConversion::ConvertReadStream(QIODevice& stream, char* buffer, qint64 size)
{
    return stream.read(buffer, size);
}

qint64 TConversion::ConvertWriteStream(QIODevice& stream, const char* buffer, qint64 size)
{
    return stream.write(buffer, size);
}

const QList<TConversionFormat>& ConversionFormatList()
{
    static const QList<TConversionFormat> list{
        {[] { return std::make_unique<TConversion>(); }, QStringLiteral("txt"), true},
        {[] { return std::make_unique<TConversion>(); }, QStringLiteral("rtf"), false},
    };
    return list;
}

// --- lines list -------------------------------------------------------------------------

TRichEditStrings::TRichEditStrings(TCustomNoteEdit* owner) : owner_(owner) {}
TRichEditStrings::~TRichEditStrings() = default;

const QList<TRichEditStrings::Line>& TRichEditStrings::lines() const
{
    const QTextDocument* doc = owner_->document();
    if (owner_->ContentsVersion() != cacheVersion_) {
        cache_.clear();
        const QString raw = doc->toRawText();
        int start = 0;
        for (int i = 0; i < raw.size(); ++i) {
            const ushort u = raw.at(i).unicode();
            if (u == 0x2029 || u == 0x2028) {
                cache_.append({start, i - start});
                start = i + 1;
            }
        }
        cache_.append({start, int(raw.size()) - start});
        cacheVersion_ = owner_->ContentsVersion();
    }
    return cache_;
}

int TRichEditStrings::Count() const
{
    const auto& l = lines();
    int n = int(l.size());
    if (n > 0 && l.last().length == 0)
        --n;
    return n;
}

QString TRichEditStrings::Get(int index) const
{
    const auto& l = lines();
    if (index < 0 || index >= l.size())
        return QString();
    return owner_->TextRange(l[index].start, l[index].start + l[index].length);
}

namespace {
// Sets the control's lines-updating flag for a scope.
struct LinesUpdate {
    explicit LinesUpdate(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~LinesUpdate() { flag_ = old_; }
    bool& flag_;
    bool old_;
};
} // namespace

void TRichEditStrings::Put(int index, const QString& text)
{
    const auto& l = lines();
    if (index < 0 || index >= l.size())
        return;
    const Line line = l[index];
    LinesUpdate u(owner_->linesUpdating_);
    owner_->SetSelection(line.start, line.start + line.length, false);
    owner_->ReplaceSelection(text);
}

void TRichEditStrings::Insert(int index, const QString& text)
{
    if (index < 0)
        return;
    const auto l = lines();
    int pos;
    QString ins;
    if (index < l.size()) {
        pos = l[index].start;
        ins = text + u'\r';
    } else {
        if (index - 1 >= l.size() || index - 1 < 0 || l[index - 1].length == 0)
            return;
        pos = l[index - 1].start + l[index - 1].length;
        ins = u'\r' + text;
    }
    LinesUpdate u(owner_->linesUpdating_);
    owner_->SetSelection(pos, pos, false);
    owner_->ReplaceSelection(ins);
}

int TRichEditStrings::Add(const QString& text)
{
    const int n = Count();
    Insert(n, text);
    return n;
}

void TRichEditStrings::Delete(int index)
{
    const auto l = lines();
    if (index < 0 || index >= l.size())
        return;
    const int start = l[index].start;
    const int end = index + 1 < l.size() ? l[index + 1].start : l[index].start + l[index].length;
    LinesUpdate u(owner_->linesUpdating_);
    owner_->SetSelection(start, end, false);
    owner_->ReplaceSelection(QString());
}

void TRichEditStrings::Clear()
{
    owner_->Clear();
}

void TRichEditStrings::BeginUpdate()
{
    if (updateCount_++ == 0)
        owner_->viewport()->setUpdatesEnabled(false);
}

void TRichEditStrings::EndUpdate()
{
    if (updateCount_ <= 0)
        return;
    if (--updateCount_ == 0) {
        owner_->viewport()->setUpdatesEnabled(true);
        owner_->viewport()->update();
        owner_->Changed();
    }
}

QString TRichEditStrings::Text() const
{
    QString s;
    const int n = Count();
    for (int i = 0; i < n; ++i)
        s += Get(i) + QStringLiteral("\r\n");
    return s;
}

void TRichEditStrings::SetText(const QString& text)
{
    const bool notify = owner_->ChangeNotify();
    owner_->SetChangeNotify(false);
    LinesUpdate u(owner_->linesUpdating_);
    owner_->SetText(text);
    owner_->SetChangeNotify(notify);
}

void TRichEditStrings::AddStrings(const QStringList& list)
{
    if (list.isEmpty())
        return;
    auto saved = std::move(owner_->OnSelectionChange);
    owner_->OnSelectionChange = nullptr;
    BeginUpdate();
    // The same as adding the lines one by one (see Insert), in one insertion at the end:
    // after a last line that is empty a line comes with its break, after one that is not the
    // break comes first.
    const auto& l = lines();
    const int end = l.last().start + l.last().length;
    bool lastEmpty = l.last().length == 0;
    QString text;
    for (const QString& line : list) {
        if (lastEmpty) {
            text += line + u'\r';
        } else {
            text += u'\r' + line;
            lastEmpty = line.isEmpty();
        }
    }
    {
        LinesUpdate u(owner_->linesUpdating_);
        owner_->SetSelection(end, end, false);
        owner_->ReplaceSelection(text);
    }
    EndUpdate();
    owner_->OnSelectionChange = std::move(saved);
}

void TRichEditStrings::Assign(const QStringList& list)
{
    BeginUpdate();
    Clear();
    AddStrings(list);
    EndUpdate();
}

QStringList TRichEditStrings::ToStringList() const
{
    QStringList out;
    const int n = Count();
    for (int i = 0; i < n; ++i)
        out << Get(i);
    return out;
}

const TConversionFormat* TRichEditStrings::formatFor(const QString& fileName)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    for (const TConversionFormat& f : ConversionFormatList()) {
        if (f.Extension == ext) {
            if (!conversion_)
                conversion_ = f.ConversionClass();
            return &f;
        }
    }
    return nullptr;
}

bool TRichEditStrings::plainFormat() const
{
    return format_ == sfPlainText || (format_ == sfDefault && owner_->PlainText());
}

void TRichEditStrings::LoadFromFile(const QString& fileName)
{
    const TRichStreamFormat saved = format_;
    if (const TConversionFormat* f = formatFor(fileName))
        format_ = f->PlainText ? sfPlainText : sfRichText;
    try {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
        LoadFromStream(file);
    } catch (...) {
        format_ = saved;
        conversion_.reset();
        throw;
    }
    format_ = saved;
}

void TRichEditStrings::SaveToFile(const QString& fileName)
{
    const TRichStreamFormat saved = format_;
    if (const TConversionFormat* f = formatFor(fileName))
        format_ = f->PlainText ? sfPlainText : sfRichText;
    try {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        SaveToStream(buffer);
        // Written beside the file and renamed over it: a failed save leaves the old note.
        QString error;
        if (!writeFileAtomic(fileName, buffer.data(), &error))
            throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, error));
    } catch (...) {
        format_ = saved;
        conversion_.reset();
        throw;
    }
    format_ = saved;
}

bool TRichEditStrings::loadAttempt(const QByteArray& bytes, bool plain)
{
    const bool selection = mode_ & smSelection;
    QTextDocument* current = owner_->document();
    auto fresh = std::make_unique<QTextDocument>();
    fresh->setDefaultFont(current->defaultFont());
    fresh->setDefaultTextOption(current->defaultTextOption());
    fresh->setDocumentMargin(current->documentMargin());
    if (plain) {
        QString text;
        if ((mode_ & smUnicode)) {
            QString u16;
            u16.resize(bytes.size() / 2);
            for (qsizetype i = 0; i < u16.size(); ++i)
                u16[i] = QChar(ushort(uchar(bytes[2 * i]) | (uchar(bytes[2 * i + 1]) << 8)));
            text = u16;
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        } else {
            text = PlainTextFromBytes(bytes);
        }
        if (selection) {
            owner_->ReplaceSel(text, true);
            return true;
        }
        // Laid out by the control's own layout from the start (see RichLayout).
        fresh->setDocumentLayout(new RichLayout(fresh.get()));
        installRichObjectPainter(*fresh);
        QTextCursor c(fresh.get());
        c.setCharFormat(owner_->defaultChar_);
        c.setBlockCharFormat(owner_->defaultChar_);
        c.insertText(text);
    } else {
        if (!ReadRtfDetached(bytes, *fresh, nullptr, &loadCutShort_))
            return false;
        if (selection) {
            owner_->ReplaceSelWithDocument(*fresh, true);
            return true;
        }
    }
    owner_->AdoptDocument(fresh.release());
    return true;
}

void TRichEditStrings::LoadFromStream(QIODevice& stream)
{
    std::unique_ptr<TConversion> temp;
    TConversion* conv = conversion_.get();
    if (!conv) {
        temp = std::make_unique<TConversion>();
        conv = temp.get();
    }
    // The whole stream is read first: the reader sees CR LF pairs whole, and a failed
    // attempt has not touched the text.
    QByteArray bytes;
    bool readOk = true;
    for (;;) {
        const qsizetype at = bytes.size();
        bytes.resize(at + 65536);
        const qint64 n = conv->ConvertReadStream(stream, bytes.data() + at, 65536);
        if (n < 0) {
            readOk = false;
            bytes.resize(at);
            break;
        }
        bytes.resize(at + n);
        if (n == 0)
            break;
    }
    const bool plain = plainFormat();
    loadCutShort_ = false;
    const bool ok = readOk && (loadAttempt(bytes, plain) || loadAttempt(bytes, !plain));
    if (!ok)
        throw EOutOfResources(QStringLiteral("Failed to Load Stream"));
    owner_->SetSelection(0, 0, true);
}

void TRichEditStrings::SaveToStream(QIODevice& stream)
{
    std::unique_ptr<TConversion> temp;
    TConversion* conv = conversion_.get();
    if (!conv) {
        temp = std::make_unique<TConversion>();
        conv = temp.get();
    }
    const bool selection = mode_ & smSelection;
    QByteArray out;
    if (plainFormat()) {
        const QString text = selection ? PlainTextOf(owner_->textCursor()) : PlainTextOf(*owner_->document());
        out = PlainTextToBytes(text, mode_ & smUnicode);
    } else if (mode_ & smNoObjects) {
        std::unique_ptr<QTextDocument> copy(owner_->document()->clone());
        registerRichResources(*copy);
        QTextCursor range(copy.get());
        const QTextCursor sel = owner_->textCursor();
        int start = selection ? sel.selectionStart() : 0;
        int end = selection ? sel.selectionEnd() : copy->characterCount() - 1;
        // Objects leave the copy from the last to the first, so positions stay valid.
        for (int pos = end - 1; pos >= start; --pos) {
            QTextCursor c(copy.get());
            c.setPosition(pos);
            c.setPosition(pos + 1, QTextCursor::KeepAnchor);
            if (isRichObject(c.charFormat()) && c.selectedText() == QString(QChar(0xfffc))) {
                c.removeSelectedText();
                --end;
            }
        }
        range.setPosition(start);
        range.setPosition(end, QTextCursor::KeepAnchor);
        out = selection ? WriteRtf(range) : WriteRtf(*copy);
    } else {
        out = selection ? WriteRtf(owner_->textCursor()) : WriteRtf(*owner_->document());
    }
    qint64 done = 0;
    while (done < out.size()) {
        const qint64 n = conv->ConvertWriteStream(stream, out.constData() + done, out.size() - done);
        if (n <= 0)
            throw EOutOfResources(QStringLiteral("Failed to Save Stream"));
        done += n;
    }
}

// --- the control ------------------------------------------------------------------------

TCustomNoteEdit::TCustomNoteEdit(QWidget* parent) : RichEditControl(parent)
{
    resize(185, 89);
    setFocusPolicy(Qt::StrongFocus);
    SetUndoLimit(100);
    fontToDefaultFormat();
    applyScrollBars();
    SetHideSelection(true);
    DocumentAttached();
}

void TCustomNoteEdit::DocumentAttached()
{
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this](const QSizeF& size) {
                if (OnResizeRequest)
                    OnResizeRequest(QRect(0, 0, width(), int(size.height())));
            });
}

TCustomNoteEdit::~TCustomNoteEdit()
{
    // The clipboard outlives the control; the handler decides whether what it copied stays.
    if (OnSaveClipboard) {
        QClipboard* cb = QApplication::clipboard();
        if (cb && cb->ownsClipboard()) {
            bool keep = true;
            const QString text = cb->text();
            OnSaveClipboard(0, int(text.size()), keep);
            if (!keep)
                cb->clear();
        }
    }
    delete findDialog_;
}

void TCustomNoteEdit::SetDefaultCharFormat(const QTextCharFormat& f)
{
    defaultChar_ = f;
    const RichCharProps p = richCharProps(f);
    QFont font = document()->defaultFont();
    if (!p.face.isEmpty())
        font.setFamilies(QStringList{p.face});
    font.setPointSizeF(p.halfPoints / 2.0);
    font.setBold(p.bold);
    font.setItalic(p.italic);
    document()->setDefaultFont(font);
    if (TextLength() == 0) {
        QTextCursor c(document());
        c.setBlockCharFormat(f);
        setCurrentCharFormat(f);
    }
}

void TCustomNoteEdit::fontToDefaultFormat()
{
    const QFont f = font();
    QTextCharFormat cf;
    RichCharProps p;
    p.face = f.family();
    // A font given in pixels (the editor's "Arial" of height -15) has no point size of its own.
    double points = f.pointSizeF();
    if (points <= 0 && f.pixelSize() > 0)
        points = f.pixelSize() * 72.0 / logicalDpiY();
    p.halfPoints = qMax(2, int(points * 2));
    p.bold = f.bold();
    p.italic = f.italic();
    p.underline = f.underline() ? RichUnderlineKind::Single : RichUnderlineKind::None;
    p.strike = f.strikeOut();
    setRichCharProps(cf, p);
    SetDefaultCharFormat(cf);
}

void TCustomNoteEdit::changeEvent(QEvent* e)
{
    RichEditControl::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        fontToDefaultFormat();
}

void TCustomNoteEdit::keyPressEvent(QKeyEvent* e)
{
    if (!wantReturns_ && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        && !(e->modifiers() & Qt::ControlModifier)) {
        e->ignore();
        return;
    }
    RichEditControl::keyPressEvent(e);
}

void TCustomNoteEdit::SetHideSelection(bool v)
{
    // Hidden selection: nothing is highlighted while the control has no focus.
    hideSelection_ = v;
    QPalette p = palette();
    if (v) {
        p.setColor(QPalette::Inactive, QPalette::Highlight, Qt::transparent);
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Inactive, QPalette::Text));
    } else {
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
    }
    setPalette(p);
}

void TCustomNoteEdit::SetHideScrollBars(bool v)
{
    hideScrollBars_ = v;
    applyScrollBars();
}

void TCustomNoteEdit::SetSelectionBar(bool v)
{
    selectionBar_ = v;
}

void TCustomNoteEdit::SetScrollBars(TScrollStyle v)
{
    scrollBars_ = v;
    applyScrollBars();
}

void TCustomNoteEdit::SetWordWrap(bool v)
{
    wordWrap_ = v;
    setLineWrapMode(v ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    applyScrollBars();
}

void TCustomNoteEdit::applyScrollBars()
{
    const Qt::ScrollBarPolicy shown = hideScrollBars_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOn;
    const bool vertical = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
    const bool horizontal = (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) && !wordWrap_;
    setVerticalScrollBarPolicy(vertical ? shown : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(horizontal ? shown : Qt::ScrollBarAlwaysOff);
}

void TCustomNoteEdit::SetPlainText(bool v)
{
    if (v == plainText_)
        return;
    plainText_ = v;
    setAcceptRichText(!v);
    if (v) {
        // Plain text keeps no formats: the text goes through plain text and comes back.
        const bool modified = Modified();
        const QString text = PlainTextOf(*document());
        auto* fresh = new QTextDocument;
        fresh->setDefaultFont(document()->defaultFont());
        fresh->setDocumentLayout(new RichLayout(fresh));
        installRichObjectPainter(*fresh);
        QTextCursor c(fresh);
        c.setBlockCharFormat(defaultChar_);
        c.setCharFormat(defaultChar_);
        c.insertText(text);
        const bool notify = ChangeNotify();
        SetChangeNotify(false);
        AdoptDocument(fresh);
        SetChangeNotify(notify);
        SetModified(modified);
    }
}

void TCustomNoteEdit::Clear()
{
    QTextCursor c(document());
    c.select(QTextCursor::Document);
    c.removeSelectedText();
    c.setBlockFormat(QTextBlockFormat());
    c.setBlockCharFormat(defaultChar_);
    setTextCursor(c);
    setCurrentCharFormat(defaultChar_);
    ClearUndo();
    SetModified(false);
}

void TCustomNoteEdit::ClearSelection()
{
    QTextCursor c = textCursor();
    if (c.hasSelection() && AllowChange(c.selectionStart(), c.selectionEnd()))
        c.removeSelectedText();
}

bool TCustomNoteEdit::CanPaste() const
{
    const QMimeData* m = QApplication::clipboard()->mimeData();
    return m && canInsertFromMimeData(m);
}

TSelectionTypes TCustomNoteEdit::SelectionType() const
{
    const QString s = textCursor().selectedText();
    int objects = 0, chars = 0;
    for (QChar c : s) {
        if (c.unicode() == 0xfffc)
            ++objects;
        else
            ++chars;
    }
    TSelectionTypes t = 0;
    if (chars > 0)
        t |= stText;
    if (objects > 0)
        t |= stObject;
    if (chars > 1)
        t |= stMultiChar;
    if (objects > 1)
        t |= stMultiObject;
    return t;
}

QPoint TCustomNoteEdit::CaretPos() const
{
    const int end = textCursor().position();
    const int line = LineFromChar(end);
    return QPoint(end - LineIndex(line), line);
}

QPoint TCustomNoteEdit::GetCharPos(int pos) const
{
    QTextCursor c(document());
    c.setPosition(qBound(0, pos, TextLength()));
    return viewport()->mapToGlobal(cursorRect(c).topLeft());
}

void TCustomNoteEdit::ReplaceSelection(const QString& text)
{
    // A caller's replacement is one undo step and ends up selected; the lines list's
    // replacements are neither.
    if (linesUpdating_) {
        QTextCursor c = textCursor();
        c.insertText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n'));
        setTextCursor(c);
        return;
    }
    ReplaceSel(text, UndoLimit() >= 2);
}

int TCustomNoteEdit::SearchText(const QString& text, int start, int length, TSearchTypes types)
{
    int flags = 0;
    if (types & stWholeWord)
        flags |= RichFindWholeWord;
    if (types & stMatchCase)
        flags |= RichFindMatchCase;
    if (types & stBackward)
        flags |= RichFindBackward;
    int hitLength = 0;
    const int end = start + (length < 0 ? -length : length);
    const int pos = FindText(text, start, end, flags, &hitLength);
    if (pos >= 0 && (types & stSetSelection))
        SetSelection(pos, pos + hitLength, true);
    return pos;
}

bool TCustomNoteEdit::FindNext(const QString& text, bool down, bool matchCase, bool wholeWord)
{
    const QTextCursor c = textCursor();
    TSearchTypes types = stSetSelection;
    int start, length;
    if (down) {
        start = c.selectionEnd();
        length = TextLength() - start + 1;
    } else {
        start = c.selectionStart();
        length = start + 1;
        types |= stBackward;
    }
    if (matchCase)
        types |= stMatchCase;
    if (wholeWord)
        types |= stWholeWord;
    int pos;
    if (down) {
        pos = SearchText(text, start, length, types);
    } else {
        // Upwards the range ends at the selection's start.
        pos = SearchText(text, 0, start, types);
    }
    if (pos < 0) {
        if (OnTextNotFound)
            OnTextNotFound(text);
        return false;
    }
    return true;
}

TFindDialog* TCustomNoteEdit::ShowFindDialog(const QString& text)
{
    if (!findDialog_)
        findDialog_ = new TFindDialog(this);
    if (!text.isEmpty())
        findDialog_->SetFindText(text);
    findDialog_->show();
    findDialog_->raise();
    return findDialog_;
}

void TCustomNoteEdit::PrintText(const QString& title, QPrinter& printer)
{
    printer.setDocName(title);
    QRect rect = PrintRect;
    if (!PrintRange(printer, 0, -1, rect)) {
        const QString file = printer.outputFileName();
        if (!file.isEmpty())
            throw EPrinter(QStringLiteral("Cannot print \"%1\": the file \"%2\" cannot be created.").arg(title, file));
        throw EPrinter(QStringLiteral("Cannot print \"%1\": the printer \"%2\" cannot start the job.")
                           .arg(title, printer.printerName()));
    }
}

void TCustomNoteEdit::SelectionChanged()
{
    if (OnSelectionChange)
        OnSelectionChange();
}

void TCustomNoteEdit::Changed()
{
    if (OnChange)
        OnChange();
}

bool TCustomNoteEdit::ProtectedChange(int start, int end)
{
    bool allow = false;
    if (OnProtectChangeEx)
        OnProtectChangeEx(start, end, allow);
    else if (OnProtectChange)
        OnProtectChange(start, end, allow);
    return allow;
}

void TCustomNoteEdit::UrlClicked(const QString& url, Qt::MouseButton button)
{
    if (OnURLClick)
        OnURLClick(url, button);
}

// --- find dialog ------------------------------------------------------------------------

TFindDialog::TFindDialog(TCustomNoteEdit* owner) : QDialog(owner), owner_(owner)
{
    setWindowTitle(QStringLiteral("Find"));
    setModal(false);
    auto* grid = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Fi&nd what:"), this));
    text_ = new QLineEdit(this);
    row->addWidget(text_);
    auto* next = new QPushButton(QStringLiteral("&Find Next"), this);
    next->setDefault(true);
    row->addWidget(next);
    grid->addLayout(row);
    auto* opts = new QHBoxLayout;
    auto* checks = new QVBoxLayout;
    wholeWord_ = new QCheckBox(QStringLiteral("Match &whole word only"), this);
    matchCase_ = new QCheckBox(QStringLiteral("Match &case"), this);
    checks->addWidget(wholeWord_);
    checks->addWidget(matchCase_);
    opts->addLayout(checks);
    auto* dir = new QGroupBox(QStringLiteral("Direction"), this);
    auto* dl = new QHBoxLayout(dir);
    up_ = new QRadioButton(QStringLiteral("&Up"), dir);
    down_ = new QRadioButton(QStringLiteral("&Down"), dir);
    down_->setChecked(true);
    dl->addWidget(up_);
    dl->addWidget(down_);
    opts->addWidget(dir);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    opts->addWidget(cancel, 0, Qt::AlignTop);
    grid->addLayout(opts);
    connect(next, &QPushButton::clicked, this, &TFindDialog::FindNextClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
}

QString TFindDialog::FindText() const { return text_->text(); }
void TFindDialog::SetFindText(const QString& text) { text_->setText(text); }
bool TFindDialog::Down() const { return down_->isChecked(); }
void TFindDialog::SetDown(bool down) { (down ? down_ : up_)->setChecked(true); }
bool TFindDialog::MatchCase() const { return matchCase_->isChecked(); }
void TFindDialog::SetMatchCase(bool v) { matchCase_->setChecked(v); }
bool TFindDialog::WholeWord() const { return wholeWord_->isChecked(); }
void TFindDialog::SetWholeWord(bool v) { wholeWord_->setChecked(v); }

void TFindDialog::FindNextClick()
{
    if (!FindText().isEmpty())
        owner_->lastFindDialog_ = this;
    if (!owner_->FindNext(FindText(), Down(), MatchCase(), WholeWord()))
        return;
    // Keep the dialog off the hit.
    if (!isVisible())
        return;
    const QTextCursor c = owner_->textCursor();
    const QPoint topLeft = owner_->GetCharPos(c.selectionStart());
    QPoint bottomRight = owner_->GetCharPos(c.selectionEnd());
    bottomRight.ry() += 20;
    QRect r = frameGeometry();
    if (r.contains(topLeft) || r.contains(bottomRight)) {
        const int screenHeight = screen() ? screen()->geometry().height() : 0;
        if (topLeft.y() > r.height() + 20)
            r.moveBottom(topLeft.y() - 20);
        else if (topLeft.y() + r.height() < screenHeight)
            r.moveTop(topLeft.y() + 40);
        move(r.topLeft());
    }
}

void TFindDialog::closeEvent(QCloseEvent* e)
{
    QDialog::closeEvent(e);
    if (owner_->OnCloseFindDialog)
        owner_->OnCloseFindDialog(this);
}
