#pragma once
#include <QAbstractTextDocumentLayout>
#include <QList>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <functional>
#include <vector>

namespace platform {

// The note control's document layout. Qt's own layout walks every paragraph after each change
// and before every paint, so typing slows down as a note grows; this one keeps the paragraph
// heights in a sum tree: a change lays out only the paragraphs it touches, and painting and hit
// tests find the visible paragraphs in logarithmic time.
//
// A newly loaded note gets estimated heights at once; the paragraphs are laid out when they
// are first shown or asked about, and the rest in steps while the program is idle. A huge
// paragraph (a whole book without a paragraph mark) is laid out only as far down as it is shown
// or asked about: laying all of it out would take minutes and gigabytes. A document without a
// width (one being read) is not laid out at all.
//
// It lays out what notes hold: paragraphs in the root frame with margins, first-line indent,
// alignment, tab stops and line height, inline pictures and objects (through the registered
// handlers). Nested frames and tables are laid out as plain paragraphs, one after another.
class RichLayout : public QAbstractTextDocumentLayout {
    Q_OBJECT
public:
    explicit RichLayout(QTextDocument* doc);
    ~RichLayout() override;

    void draw(QPainter* painter, const PaintContext& context) override;
    int hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame* frame) const override;
    QRectF blockBoundingRect(const QTextBlock& block) const override;

    // Display-only formats of a paragraph (detected addresses, hidden text): applied to its
    // layout when it is laid out, never to the document.
    using Decorator = std::function<QList<QTextLayout::FormatRange>(const QTextBlock&)>;
    void SetDecorator(Decorator decorator);
    // Lays everything out again (the decorations changed).
    void Redecorate();

    // True while paragraphs still hold estimated heights; FinishLayout lays them all out now.
    bool LayoutPending() const { return stepTimer_.isActive(); }
    void FinishLayout();
    // Lays out the lines of the paragraph holding document position `position` down to that
    // position (the caret's paragraph may be a huge one laid out only in part).
    // True when lines were added.
    bool EnsurePositionLaid(int position);

    // Paragraphs of more characters are laid out only as far as needed.
    static constexpr int HugeBlock = 64 * 1024;

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    struct Height {
        double top = 0;    // the paragraph's top margin
        double lines = 0;  // height of its lines
        double bottom = 0; // its bottom margin
        bool laid = false; // false: an estimate
        // A huge paragraph laid out in part: its lines reach down to laidTo, the rest of
        // `lines` is an estimate.
        bool partial = false;
        double laidTo = 0;
        double total() const { return top + lines + bottom; }
    };
    // Lays the paragraph out; a huge one only until its lines reach `upTo` (from its top),
    // going on from the lines it has when `resume` is set.
    // `untilPos` (from the paragraph's start) must be on a laid line too.
    Height layoutBlock(const QTextBlock& block, double upTo = 1e300, bool resume = false, int untilPos = -1) const;
    // The height a laid line takes, with the paragraph's line spacing.
    static double lineAdvance(const QTextLine& line, const QTextBlockFormat& bf);
    // The bullet or number shown before a paragraph's first line, empty for none.
    QString markerText(const QTextBlock& block) const;
    QFont markerFont(const QTextBlock& block) const;
    // Position of a numbered paragraph in its list (0 for the first), remembered while the
    // paragraphs up to it do not change, so that a long list costs one walk, not one for each
    // paragraph.
    int numberIndex(const QTextBlock& block) const;
    double firstLineX(const QTextBlock& block) const;
    Height estimate(const QTextBlock& block) const;
    void relayoutAll();
    // Lays out paragraph index (a QTextBlock for it may be given) when it holds an estimate;
    // a huge one down to `upTo` from its top.
    void ensureLaid(int index, QTextBlock block = QTextBlock(), double upTo = 1e300, int untilPos = -1) const;
    void layoutStep();
    void sizeMayHaveChanged();
    double blockTop(int index) const; // sum of the heights before it
    int blockAtY(double y) const;     // index of the paragraph that holds y
    void rebuildTree();
    void treeAdd(int index, double delta) const;
    double available() const;

    // Filled lazily from const functions (drawing, hit tests), hence mutable.
    mutable std::vector<Height> heights_;
    mutable std::vector<double> tree_; // Fenwick tree over heights_[i].total()
    mutable double total_ = 0;
    mutable double widest_ = 0;
    mutable bool sizeDirty_ = false;
    // Position in its list by paragraph number, -1 unknown; kept for the paragraphs before a change.
    mutable std::vector<int> numberIndex_;
    int nextStep_ = 0; // first paragraph the idle steps look at
    QTimer stepTimer_;
    Decorator decorator_;
    QSizeF lastSize_;
};

} // namespace platform
