#include "platform/richedit/RichLayout.h"

#include "platform/richedit/RichFormat.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextObjectInterface>
#include <QUrl>

#include <cmath>

namespace platform {

namespace {

// Pictures: the image resource at the format's width and height (or the image's own size).
class ImageHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    explicit ImageHandler(QObject* parent) : QObject(parent) {}

    QSizeF intrinsicSize(QTextDocument* doc, int, const QTextFormat& format) override
    {
        const QTextImageFormat f = format.toImageFormat();
        const QImage img = image(doc, f);
        double w = f.width(), h = f.height();
        if (w <= 0 && h <= 0) {
            w = img.width();
            h = img.height();
        } else if (w <= 0) {
            w = img.height() > 0 ? h * img.width() / img.height() : h;
        } else if (h <= 0) {
            h = img.width() > 0 ? w * img.height() / img.width() : w;
        }
        return QSizeF(std::max(1.0, w), std::max(1.0, h));
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int, const QTextFormat& format) override
    {
        const QImage img = image(doc, format.toImageFormat());
        if (img.isNull()) {
            painter->save();
            painter->setPen(Qt::gray);
            painter->drawRect(rect.adjusted(0, 0, -1, -1));
            painter->restore();
            return;
        }
        painter->drawImage(rect, img);
    }

private:
    static QImage image(QTextDocument* doc, const QTextImageFormat& f)
    {
        const QVariant v = doc->resource(QTextDocument::ImageResource, QUrl(f.name()));
        if (v.canConvert<QImage>())
            return v.value<QImage>();
        if (v.canConvert<QPixmap>())
            return v.value<QPixmap>().toImage();
        return QImage();
    }
};

} // namespace

RichLayout::RichLayout(QTextDocument* doc) : QAbstractTextDocumentLayout(doc)
{
    registerHandler(QTextFormat::ImageObject, new ImageHandler(this));
    stepTimer_.setInterval(0);
    connect(&stepTimer_, &QTimer::timeout, this, &RichLayout::layoutStep);
}

RichLayout::~RichLayout() = default;

double RichLayout::available() const
{
    const QTextDocument* doc = document();
    const double w = doc->textWidth();
    return w > 0 ? w - 2 * doc->documentMargin() : 1e5;
}

namespace {

QString roman(int n, bool upper)
{
    static const struct { int value; const char* text; } table[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"},
        {50, "l"}, {40, "xl"}, {10, "x"}, {9, "ix"}, {5, "v"}, {4, "iv"}, {1, "i"}};
    QString s;
    n = std::clamp(n, 1, 3999);
    for (const auto& t : table)
        while (n >= t.value) {
            s += QLatin1String(t.text);
            n -= t.value;
        }
    return upper ? s.toUpper() : s;
}

QString letters(int n, bool upper)
{
    QString s;
    n = std::max(1, n);
    while (n > 0) {
        --n;
        s.prepend(QChar(u'a' + n % 26));
        n /= 26;
    }
    return upper ? s.toUpper() : s;
}

// Paragraphs of one list: every numbering property the same (a list right after another one
// with its own start begins anew, as the saved numbers do).
bool sameNumbering(const QTextBlockFormat& a, const QTextBlockFormat& b)
{
    for (int id = RichProp::Numbering; id <= RichProp::NumberingLevel; ++id)
        if (a.property(id) != b.property(id))
            return false;
    return true;
}

} // namespace

QString RichLayout::markerText(const QTextBlock& block) const
{
    const QTextBlockFormat f = block.blockFormat();
    const int kind = f.intProperty(RichProp::Numbering);
    if (kind == int(RichNumberingKind::None))
        return QString();
    if (kind == int(RichNumberingKind::Bullet))
        return QString(QChar(0x2022));
    const int index = numberIndex(block);
    const int start = f.hasProperty(RichProp::NumberingStart) ? f.intProperty(RichProp::NumberingStart) : 1;
    const int n = start + index;
    QString number;
    switch (RichNumberingKind(kind)) {
    case RichNumberingKind::LowerLetter: number = letters(n, false); break;
    case RichNumberingKind::UpperLetter: number = letters(n, true); break;
    case RichNumberingKind::LowerRoman: number = roman(n, false); break;
    case RichNumberingKind::UpperRoman: number = roman(n, true); break;
    default: number = QString::number(n); break;
    }
    const QString before = f.stringProperty(RichProp::NumberingTextBefore);
    const QString after = f.stringProperty(RichProp::NumberingTextAfter);
    // Texts read with the numbering (\pntxtb, \pntxta) already say what the style says.
    if (!before.isEmpty() || !after.isEmpty())
        return before + number + after;
    switch (RichNumberingStyle(f.intProperty(RichProp::NumberingStyle))) {
    case RichNumberingStyle::Parens: number = u'(' + number + u')'; break;
    case RichNumberingStyle::Period: number += u'.'; break;
    case RichNumberingStyle::Plain: break;
    default: number += u')'; break;
    }
    return number;
}

int RichLayout::numberIndex(const QTextBlock& block) const
{
    // Back to the nearest paragraph whose position is known or to the list's first one, then
    // forward again noting each position.
    QList<int> path;
    int index = -1;
    for (QTextBlock b = block;;) {
        const int number = b.blockNumber();
        if (number >= 0 && size_t(number) < numberIndex_.size() && numberIndex_[number] >= 0) {
            index = numberIndex_[number];
            break;
        }
        path.append(number);
        const QTextBlock p = b.previous();
        if (!p.isValid() || !sameNumbering(p.blockFormat(), b.blockFormat()))
            break;
        b = p;
    }
    if (!path.isEmpty() && size_t(path.first()) >= numberIndex_.size())
        numberIndex_.resize(size_t(path.first()) + 1, -1);
    for (qsizetype i = path.size() - 1; i >= 0; --i)
        numberIndex_[size_t(path[i])] = ++index;
    return index;
}

// A bullet or number is as large as the paragraph's text: the format of its first character
// (the block's own format is that of the paragraph mark before it, a heading's for a list
// right after one).
QFont RichLayout::markerFont(const QTextBlock& block) const
{
    const QTextBlock::iterator it = block.begin();
    return it.atEnd() ? block.charFormat().font() : it.fragment().charFormat().font();
}

double RichLayout::firstLineX(const QTextBlock& block) const
{
    const QTextDocument* doc = document();
    const QTextBlockFormat bf = block.blockFormat();
    return doc->documentMargin() + bf.leftMargin() + bf.indent() * doc->indentWidth() + bf.textIndent();
}

RichLayout::Height RichLayout::estimate(const QTextBlock& block) const
{
    // One line per so many characters of the default font: close enough for the scroll bar
    // until the paragraph is laid out.
    const QTextDocument* doc = document();
    static thread_local QFont lastFont;
    static thread_local double lineHeight = 0, charWidth = 0;
    if (lineHeight == 0 || lastFont != doc->defaultFont()) {
        lastFont = doc->defaultFont();
        const QFontMetricsF fm(lastFont);
        lineHeight = fm.height();
        charWidth = std::max(1.0, fm.averageCharWidth());
    }
    const QTextBlockFormat bf = block.blockFormat();
    Height h;
    h.top = bf.topMargin();
    h.bottom = bf.bottomMargin();
    if (block.isVisible()) {
        const double width = std::max(charWidth, available() - bf.leftMargin() - bf.rightMargin());
        const double lines = std::max(1.0, std::ceil(block.length() * charWidth / width));
        h.lines = lines * lineHeight;
        QTextBlock(block).setLineCount(int(lines));
    }
    return h;
}

double RichLayout::lineAdvance(const QTextLine& line, const QTextBlockFormat& bf)
{
    const double lh = line.height();
    switch (bf.lineHeightType()) {
    case QTextBlockFormat::ProportionalHeight: return lh * bf.lineHeight() / 100.0;
    case QTextBlockFormat::FixedHeight: return bf.lineHeight();
    case QTextBlockFormat::MinimumHeight: return std::max(lh, bf.lineHeight());
    case QTextBlockFormat::LineDistanceHeight: return lh + bf.lineHeight();
    default: return lh;
    }
}

RichLayout::Height RichLayout::layoutBlock(const QTextBlock& block, double upTo, bool resume, int untilPos) const
{
    Height h;
    QTextLayout* tl = block.layout();
    if (!tl)
        return h;
    const QTextDocument* doc = document();
    const QTextBlockFormat bf = block.blockFormat();
    const bool huge = block.length() > HugeBlock;
    if (!huge) {
        upTo = 1e300;
        untilPos = -1;
    }
    resume = resume && huge && block.isVisible() && tl->lineCount() > 0;
    const bool wrap = doc->textWidth() > 0 && doc->defaultTextOption().wrapMode() != QTextOption::NoWrap;
    if (!resume) {
        QTextOption opt = doc->defaultTextOption();
        opt.setAlignment(QStyle::visualAlignment(block.textDirection(), bf.alignment()));
        const QList<QTextOption::Tab> tabs = bf.tabPositions();
        if (!tabs.isEmpty())
            opt.setTabs(tabs);
        if (!wrap)
            opt.setWrapMode(QTextOption::NoWrap);
        tl->setTextOption(opt);
        tl->setCacheEnabled(true);
        tl->setFormats(decorator_ ? decorator_(block) : QList<QTextLayout::FormatRange>());
        tl->setPosition(QPointF(0, 0));
        if (!block.isVisible()) {
            tl->clearLayout();
            h.laid = true;
            return h;
        }
    }
    const double margin = doc->documentMargin();
    const double left = margin + bf.leftMargin() + bf.indent() * doc->indentWidth();
    const double width = available() - bf.leftMargin() - bf.rightMargin() - bf.indent() * doc->indentWidth();
    double y = 0;
    bool first = true;
    double firstIndent = bf.textIndent();
    if (resume) {
        // Lines go on below the ones laid before (the layout keeps its text and lines). Asking
        // for a line makes Qt analyse the text again if it let that go.
        (void)tl->lineForTextPosition(0);
        const QTextLine last = tl->lineAt(tl->lineCount() - 1);
        y = last.y() + lineAdvance(last, bf);
        first = false;
    } else {
        // A bullet or number stands at the first line's indent; the text follows it, at the
        // hanging indent when there is room.
        const QString marker = markerText(block);
        if (!marker.isEmpty()) {
            const QFontMetricsF fm(markerFont(block));
            const double markerEnd = bf.textIndent() + fm.horizontalAdvance(marker) + fm.height() / 3;
            const double tab = richTwipsToPixels(bf.intProperty(RichProp::NumberingTab));
            firstIndent =
                bf.textIndent() < 0 ? std::max(0.0, markerEnd) : std::max(markerEnd, bf.textIndent() + tab);
        }
        tl->beginLayout();
    }
    const int textLength = block.length() - 1;
    auto laidChars = [&] {
        const int n = tl->lineCount();
        if (n == 0)
            return 0;
        const QTextLine last = tl->lineAt(n - 1);
        return last.textStart() + last.textLength();
    };
    bool stopped = false;
    for (;;) {
        if (y > upTo && (untilPos < 0 || laidChars() > untilPos)) {
            stopped = true;
            break;
        }
        QTextLine line = tl->createLine();
        if (!line.isValid())
            break;
        const double indent = first ? firstIndent : 0;
        if (wrap) {
            line.setLineWidth(std::max(1.0, width - indent));
        } else {
            // Unwrapped: the line as long as its text, at least the window's width (for
            // alignment).
            line.setLineWidth(1e7);
            line.setLineWidth(std::max({1.0, width - indent, line.naturalTextWidth()}));
        }
        line.setPosition(QPointF(left + indent, y));
        y += lineAdvance(line, bf);
        widest_ = std::max(widest_, left + indent + line.naturalTextWidth() + margin);
        first = false;
    }
    tl->endLayout();
    h.top = bf.topMargin();
    h.bottom = bf.bottomMargin();
    const int lines = tl->lineCount();
    const int done = laidChars();
    if (stopped && lines > 0 && done < textLength) {
        // The rest as the laid lines go: so many characters and so much height a line.
        const double perLine = std::max(1.0, double(done) / lines);
        const double restLines = std::ceil((textLength - done) / perLine);
        h.lines = y + restLines * (y / lines);
        h.partial = true;
        h.laidTo = y;
        QTextBlock(block).setLineCount(lines + int(std::min(restLines, 1e9)));
        return h;
    }
    // Line numbers of the document (the caret's line in the status bar) count these.
    QTextBlock(block).setLineCount(lines);
    h.lines = y;
    h.laid = true;
    return h;
}

void RichLayout::rebuildTree()
{
    const size_t n = heights_.size();
    tree_.assign(n + 1, 0.0);
    total_ = 0;
    for (size_t i = 0; i < n; ++i) {
        const double v = heights_[i].total();
        total_ += v;
        tree_[i + 1] += v;
        const size_t parent = (i + 1) + ((i + 1) & (~(i + 1) + 1));
        if (parent <= n)
            tree_[parent] += tree_[i + 1];
    }
}

void RichLayout::treeAdd(int index, double delta) const
{
    total_ += delta;
    for (size_t i = size_t(index) + 1; i < tree_.size(); i += i & (~i + 1))
        tree_[i] += delta;
}

double RichLayout::blockTop(int index) const
{
    double sum = 0;
    for (size_t i = size_t(std::clamp(index, 0, int(heights_.size()))); i > 0; i -= i & (~i + 1))
        sum += tree_[i];
    return sum + document()->documentMargin();
}

int RichLayout::blockAtY(double y) const
{
    // The largest index whose top lies at or above y.
    y -= document()->documentMargin();
    size_t pos = 0;
    size_t step = 1;
    while (step * 2 < tree_.size())
        step *= 2;
    for (; step > 0; step /= 2) {
        if (pos + step < tree_.size() && tree_[pos + step] <= y) {
            pos += step;
            y -= tree_[pos];
        }
    }
    return std::clamp(int(pos), 0, std::max(0, int(heights_.size()) - 1));
}

void RichLayout::relayoutAll()
{
    const QTextDocument* doc = document();
    heights_.clear();
    heights_.reserve(size_t(doc->blockCount()));
    widest_ = 0;
    // The first screens at once, estimates for the rest. A document without a width is not
    // shown yet (it is being read): estimates only.
    const double firstScreens = doc->textWidth() > 0 ? 4000 : -1;
    double y = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        // A huge paragraph waits until it is drawn: Qt lays out a paragraph's text as a whole.
        const bool now = y < firstScreens && b.length() <= HugeBlock;
        heights_.push_back(now ? layoutBlock(b) : estimate(b));
        y += heights_.back().total();
    }
    rebuildTree();
    nextStep_ = 0;
    if (!heights_.empty() && !heights_.back().laid)
        stepTimer_.start();
}

void RichLayout::ensureLaid(int index, QTextBlock block, double upTo, int untilPos) const
{
    if (index < 0 || index >= int(heights_.size()) || heights_[size_t(index)].laid)
        return;
    const Height& was = heights_[size_t(index)];
    if (!block.isValid())
        block = document()->findBlockByNumber(index);
    if (!block.isValid())
        return;
    if (was.partial && was.laidTo >= upTo) {
        const QTextLayout* tl = block.layout();
        const int n = tl ? tl->lineCount() : 0;
        if (untilPos < 0 || (n > 0 && tl->lineAt(n - 1).textStart() + tl->lineAt(n - 1).textLength() > untilPos))
            return;
    }
    // A huge paragraph goes on a screen further than asked, so that scrolling through it lays
    // out each line once.
    const Height h = layoutBlock(block, upTo < 1e299 ? upTo + 2000 : upTo, was.partial, untilPos);
    const double d = h.total() - heights_[size_t(index)].total();
    heights_[size_t(index)] = h;
    if (d != 0) {
        treeAdd(index, d);
        sizeDirty_ = true;
    }
}

void RichLayout::layoutStep()
{
    // A slice of the paragraphs that still hold estimates, while the program is idle.
    const int n = int(heights_.size());
    QTextBlock b = document()->findBlockByNumber(nextStep_);
    int done = 0;
    while (nextStep_ < n && b.isValid() && done < 400) {
        // Huge paragraphs are laid out only as far as they are shown.
        if (!heights_[size_t(nextStep_)].laid && b.length() <= HugeBlock) {
            ensureLaid(nextStep_, b);
            ++done;
        }
        ++nextStep_;
        b = b.next();
    }
    if (nextStep_ >= n || !b.isValid())
        stepTimer_.stop();
    sizeMayHaveChanged();
}

void RichLayout::SetDecorator(Decorator decorator)
{
    decorator_ = std::move(decorator);
}

void RichLayout::Redecorate()
{
    relayoutAll();
    sizeMayHaveChanged();
    emit update();
}

void RichLayout::FinishLayout()
{
    QTextBlock b = document()->begin();
    for (int i = 0; i < int(heights_.size()) && b.isValid(); ++i, b = b.next())
        ensureLaid(i, b);
    stepTimer_.stop();
    sizeMayHaveChanged();
}

bool RichLayout::EnsurePositionLaid(int position)
{
    const QTextBlock block = document()->findBlock(position);
    const int index = block.isValid() ? block.blockNumber() : -1;
    if (index < 0 || index >= int(heights_.size()) || !heights_[size_t(index)].partial)
        return false;
    const int lines = block.layout()->lineCount();
    ensureLaid(index, block, 0, position - block.position());
    if (block.layout()->lineCount() == lines)
        return false;
    sizeMayHaveChanged();
    emit update();
    return true;
}

void RichLayout::sizeMayHaveChanged()
{
    sizeDirty_ = false;
    const QSizeF size = documentSize();
    if (size != lastSize_) {
        lastSize_ = size;
        emit documentSizeChanged(size);
    }
}

void RichLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    // Positions in lists stay known for the paragraphs before the change.
    const QTextBlock changed = document()->findBlock(from);
    const int firstChanged = changed.isValid() ? changed.blockNumber() : 0;
    if (numberIndex_.size() > size_t(firstChanged))
        numberIndex_.resize(size_t(firstChanged));
    const QTextDocument* doc = document();
    const int count = doc->blockCount();
    const int length = doc->characterCount();
    if ((from == 0 && charsAdded >= length - 1) || heights_.empty() || heights_.size() > size_t(1) << 30) {
        relayoutAll();
    } else {
        const QTextBlock firstBlock = doc->findBlock(from);
        QTextBlock lastBlock = doc->findBlock(std::min(from + charsAdded, length - 1));
        if (!firstBlock.isValid() || !lastBlock.isValid()) {
            relayoutAll();
        } else {
            const int first = firstBlock.blockNumber();
            const int lastNew = lastBlock.blockNumber();
            const int delta = count - int(heights_.size());
            const int lastOld = lastNew - delta;
            if (first < 0 || lastOld < first - 1 || lastOld >= int(heights_.size())) {
                relayoutAll();
            } else {
                std::vector<Height> fresh;
                for (QTextBlock b = firstBlock; b.isValid(); b = b.next()) {
                    // A huge paragraph is laid out again as far as it was, or not at all.
                    const size_t old = first + fresh.size();
                    if (b.length() > HugeBlock && !(old < heights_.size() && heights_[old].partial))
                        fresh.push_back(estimate(b));
                    else
                        fresh.push_back(layoutBlock(b, old < heights_.size() ? heights_[old].laidTo : 0));
                    if (b == lastBlock)
                        break;
                }
                if (delta == 0) {
                    bool moved = false;
                    double changed = 0;
                    for (size_t i = 0; i < fresh.size(); ++i) {
                        const double d = fresh[i].total() - heights_[first + i].total();
                        heights_[first + i] = fresh[i];
                        changed += fresh[i].total();
                        if (d != 0) {
                            treeAdd(first + int(i), d);
                            moved = true;
                        }
                    }
                    if (!moved) {
                        // Only these paragraphs need painting again.
                        sizeMayHaveChanged();
                        emit update(QRectF(0, blockTop(first), 1e9, changed));
                        return;
                    }
                } else {
                    heights_.erase(heights_.begin() + first, heights_.begin() + lastOld + 1);
                    heights_.insert(heights_.begin() + first, fresh.begin(), fresh.end());
                    rebuildTree();
                    nextStep_ = std::min(nextStep_, first);
                }
            }
        }
    }
    sizeMayHaveChanged();
    emit update();
    Q_UNUSED(charsRemoved);
}

QSizeF RichLayout::documentSize() const
{
    const QTextDocument* doc = document();
    const double margin = doc->documentMargin();
    const double w = std::max(doc->textWidth(), widest_ + margin);
    return QSizeF(w, total_ + 2 * margin);
}

QRectF RichLayout::frameBoundingRect(QTextFrame* frame) const
{
    if (frame == document()->rootFrame())
        return QRectF(QPointF(0, 0), documentSize());
    return QRectF();
}

QRectF RichLayout::blockBoundingRect(const QTextBlock& block) const
{
    if (!block.isValid())
        return QRectF();
    const int index = block.blockNumber();
    if (index < 0 || index >= int(heights_.size()))
        return QRectF();
    // A huge paragraph is laid out when it is drawn (its estimate serves until then).
    if (block.length() <= HugeBlock)
        ensureLaid(index, block);
    const Height& h = heights_[size_t(index)];
    const QTextDocument* doc = document();
    const double w = doc->textWidth() > 0 ? doc->textWidth() : widest_;
    return QRectF(0, blockTop(index) + h.top, w, h.lines);
}

void RichLayout::draw(QPainter* painter, const PaintContext& context)
{
    const QTextDocument* doc = document();
    if (heights_.empty())
        return;
    const QRectF clip = context.clip.isValid() ? context.clip : QRectF(0, 0, 1e9, 1e9);
    int index = blockAtY(clip.top());
    QTextBlock block = doc->findBlockByNumber(index);
    ensureLaid(index, block, clip.bottom() - blockTop(index));
    double top = blockTop(index);
    const int cursorWidth = property("cursorWidth").isValid() ? property("cursorWidth").toInt() : 1;
    painter->save();
    painter->setPen(context.palette.color(QPalette::Text));
    for (; block.isValid() && index < int(heights_.size()); block = block.next(), ++index) {
        if (top > clip.bottom())
            break;
        ensureLaid(index, block, clip.bottom() - top);
        const Height& h = heights_[size_t(index)];
        const double y = top + h.top;
        top += h.total();
        if (!block.isVisible())
            continue;
        QTextLayout* tl = block.layout();
        const int bpos = block.position();
        const int blen = block.length();
        QList<QTextLayout::FormatRange> ranges;
        for (const Selection& s : context.selections) {
            const int ss = s.cursor.selectionStart(), se = s.cursor.selectionEnd();
            if (se <= bpos || ss >= bpos + blen || ss == se)
                continue;
            QTextLayout::FormatRange r;
            r.start = std::max(ss, bpos) - bpos;
            r.length = std::min(se, bpos + blen) - bpos - r.start;
            r.format = s.format;
            ranges << r;
        }
        const QTextBlockFormat bf = block.blockFormat();
        if (bf.hasProperty(QTextFormat::BackgroundBrush))
            painter->fillRect(QRectF(0, y - h.top, doc->textWidth() > 0 ? doc->textWidth() : widest_, h.total()),
                              bf.background());
        tl->draw(painter, QPointF(0, y), ranges, clip);
        if (tl->lineCount() > 0 && block.blockFormat().intProperty(RichProp::Numbering) != 0) {
            const QString marker = markerText(block);
            const QTextLine first = tl->lineAt(0);
            painter->save();
            painter->setFont(markerFont(block));
            painter->drawText(QPointF(firstLineX(block), y + first.y() + first.ascent()), marker);
            painter->restore();
        }
        const int cp = context.cursorPosition;
        if (cp >= bpos && cp < bpos + blen)
            tl->drawCursor(painter, QPointF(0, y), cp - bpos, cursorWidth);
    }
    painter->restore();
    if (sizeDirty_)
        QMetaObject::invokeMethod(this, [this] { sizeMayHaveChanged(); }, Qt::QueuedConnection);
}

int RichLayout::hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const
{
    const QTextDocument* doc = document();
    if (heights_.empty())
        return -1;
    const double margin = doc->documentMargin();
    if (point.y() < margin) {
        if (accuracy == Qt::ExactHit)
            return -1;
    }
    if (point.y() >= total_ + margin && accuracy == Qt::ExactHit)
        return -1;
    const int index = blockAtY(point.y());
    const QTextBlock block = doc->findBlockByNumber(index);
    if (!block.isValid())
        return -1;
    ensureLaid(index, block, point.y() - blockTop(index));
    const QTextLayout* tl = block.layout();
    const double y = point.y() - (blockTop(index) + heights_[size_t(index)].top);
    const int n = tl ? tl->lineCount() : 0;
    if (n == 0)
        return accuracy == Qt::ExactHit ? -1 : block.position();
    // Binary search over the lines by their top.
    int lo = 0, hi = n - 1;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (tl->lineAt(mid).y() <= y)
            lo = mid;
        else
            hi = mid - 1;
    }
    const QTextLine line = tl->lineAt(lo);
    if (accuracy == Qt::ExactHit) {
        if (y < line.y() || y > line.y() + line.height())
            return -1;
        const double left = line.cursorToX(line.textStart());
        const double right = left + line.naturalTextWidth();
        if (point.x() < left || point.x() > right)
            return -1;
    }
    const int pos = line.xToCursor(point.x(), QTextLine::CursorBetweenCharacters);
    return block.position() + std::clamp(pos, 0, block.length() - 1);
}

} // namespace platform

#include "RichLayout.moc"
