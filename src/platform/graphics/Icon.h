#pragma once
#include "platform/graphics/Graphic.h"

#include <QImage>

namespace platform::graphics {

// The class library's icon: one image read from and written to ".ico" through Qt.
class TIcon : public TGraphic {
public:
    QString ClassName() const override { return QStringLiteral("TIcon"); }
    void Assign(TPersistent* source) override;
    void Draw(TCanvas& canvas, const QRect& rect) override;
    bool Empty() override { return image_.isNull(); }
    int Width() override { return image_.width(); }
    int Height() override { return image_.height(); }
    void SetWidth(int) override;
    void SetHeight(int) override;
    void LoadFromStream(QIODevice& stream) override;
    void SaveToStream(QIODevice& stream) override;
    void SaveToClipboardFormat(QMimeData& data) override;
    void LoadFromClipboardFormat(const QMimeData& data) override;
    const QImage& Image() const { return image_; }
    // The clipboard format under which icons are exchanged (set by the start-up registration).
    static QString ClipboardFormat;

private:
    QImage image_;
};

} // namespace platform::graphics
