#include "platform/richedit/JpegImage.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace platform {

namespace {

// libjpeg's own error_exit calls exit(): ours jumps back to the decoder with the message.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (a premature end, extraneous bytes) are not worth a message: the picture shows
// what could be decoded.
void outputMessage(j_common_ptr) {}

// A crafted progressive stream can hold thousands of tiny scans, each costing a pass over the
// whole coefficient buffer; no real encoder writes more than a few dozen.
constexpr int MaxScans = 1000;

struct Progress {
    jpeg_progress_mgr pub;
};

void progressMonitor(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > MaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "JPEG stream has too many scans");
        std::longjmp(err->jump, 1);
    }
}

inline uchar mul255(int a, int b) { return uchar((a * b + 127) / 255); }

// Everything libjpeg touches between setjmp and longjmp is plain data or reached through
// pointers that do not change after setjmp, so nothing is left half-built by the jump.
bool decode(jpeg_decompress_struct* cinfo, ErrorManager* err, const uchar* data, size_t size,
            QImage* image, QString* message)
{
    if (setjmp(err->jump)) {
        *image = QImage();
        *message = QString::fromLocal8Bit(err->message);
        return false;
    }
    jpeg_mem_src(cinfo, const_cast<uchar*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);

    const qint64 pixels = qint64(cinfo->image_width) * qint64(cinfo->image_height);
    if (pixels <= 0 || pixels > JpegMaxPixels) {
        *message = QStringLiteral("JPEG picture too large (%1 x %2)")
                       .arg(cinfo->image_width)
                       .arg(cinfo->image_height);
        return false;
    }
    // Coefficient buffers of progressive pictures grow with the picture; the pixel cap bounds
    // them, and so does libjpeg's own limit.
    cinfo->mem->max_memory_to_use = 1024L * 1024L * 1024L;

    bool cmyk = false;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo->out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default:
        cinfo->out_color_space = JCS_RGB;
        break;
    }
    jpeg_start_decompress(cinfo);

    const int width = int(cinfo->output_width);
    const int height = int(cinfo->output_height);
    const QImage::Format format =
        cinfo->out_color_space == JCS_GRAYSCALE ? QImage::Format_Grayscale8 : QImage::Format_RGB888;
    *image = QImage(width, height, format);
    if (image->isNull()) {
        *message = QStringLiteral("Not enough memory for a %1 x %2 JPEG picture").arg(width).arg(height);
        jpeg_abort_decompress(cinfo);
        return false;
    }
    image->fill(Qt::white);

    JSAMPARRAY row = nullptr;
    if (cmyk)
        row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                          JDIMENSION(width) * 4, 1);
    // Adobe writes CMYK inverted (0 = full ink) and says so with its APP14 marker.
    const bool inverted = cinfo->saw_Adobe_marker;
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = int(cinfo->output_scanline);
        uchar* line = image->scanLine(y);
        if (!cmyk) {
            JSAMPROW r = line;
            jpeg_read_scanlines(cinfo, &r, 1);
            continue;
        }
        jpeg_read_scanlines(cinfo, row, 1);
        const uchar* s = row[0];
        for (int x = 0; x < width; ++x, s += 4, line += 3) {
            int c = s[0], m = s[1], ye = s[2], k = s[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                ye = 255 - ye;
                k = 255 - k;
            }
            line[0] = mul255(c, k);
            line[1] = mul255(m, k);
            line[2] = mul255(ye, k);
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

QImage DecodeJpeg(QByteArrayView data, QString* error)
{
    QImage image;
    QString message;
    if (data.size() < 4) {
        if (error)
            *error = QStringLiteral("Not a JPEG stream");
        return image;
    }
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    Progress progress;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = outputMessage;
    err.message[0] = 0;
    if (setjmp(err.jump)) {
        // Only jpeg_create_decompress can jump here (out of memory).
        jpeg_destroy_decompress(&cinfo);
        if (error)
            *error = QString::fromLocal8Bit(err.message);
        return QImage();
    }
    jpeg_create_decompress(&cinfo);
    progress.pub.progress_monitor = progressMonitor;
    cinfo.progress = &progress.pub;

    const bool ok = decode(&cinfo, &err, reinterpret_cast<const uchar*>(data.data()),
                           size_t(data.size()), &image, &message);
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        if (error)
            *error = message.isEmpty() ? QStringLiteral("Invalid JPEG stream") : message;
        return QImage();
    }
    if (error)
        error->clear();
    return image;
}

} // namespace platform

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/GraphicsErrors.h"
#include "platform/graphics/PictureFormats.h"

#include <QMimeData>

namespace platform {

using namespace graphics;

void TJPEGImage::Assign(TPersistent* source)
{
    if (auto* j = dynamic_cast<TJPEGImage*>(source)) {
        if (j != this) {
            data_ = j->data_;
            image_ = j->image_;
            Changed();
        }
        return;
    }
    TGraphic::Assign(source);
}

void TJPEGImage::AssignTo(TPersistent* dest)
{
    if (auto* b = dynamic_cast<TBitmap*>(dest)) {
        b->SetImage(image_.convertToFormat(QImage::Format_RGB888));
        return;
    }
    TGraphic::AssignTo(dest);
}

void TJPEGImage::Draw(TCanvas& canvas, const QRect& rect)
{
    if (!image_.isNull())
        canvas.StretchDrawImage(rect, image_);
}

void TJPEGImage::SetWidth(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("Cannot change the size of a JPEG image"));
}

void TJPEGImage::SetHeight(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("Cannot change the size of a JPEG image"));
}

void TJPEGImage::LoadFromStream(QIODevice& stream)
{
    const QByteArray data = stream.readAll();
    QString error;
    QImage image = DecodeJpeg(data, &error);
    if (image.isNull())
        throw EInvalidGraphic(QStringLiteral("JPEG error: %1").arg(error));
    data_ = data;
    image_ = std::move(image);
    Changed();
}

void TJPEGImage::SaveToStream(QIODevice& stream)
{
    if (stream.write(data_) != data_.size())
        throw Exception(QStringLiteral("Stream write error"));
}

void TJPEGImage::SaveToClipboardFormat(QMimeData& data)
{
    data.setImageData(image_);
}

void RegisterJpegPicture()
{
    auto create = []() -> std::unique_ptr<TGraphic> { return std::make_unique<TJPEGImage>(); };
    RegisterFileFormat(QStringLiteral("jpeg"), QStringLiteral("JPEG Image File"), QStringLiteral("TJPEGImage"), create);
    RegisterFileFormat(QStringLiteral("jpg"), QStringLiteral("JPEG Image File"), QStringLiteral("TJPEGImage"), create);
    RegisterGraphicClass(QStringLiteral("TJPEGImage"), create);
}

} // namespace platform
