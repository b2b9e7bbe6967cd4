#include "tags/thumbnails.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

namespace {

// A cover is a few megapixels at most; a picture that says it is larger is not decoded.
constexpr int kAllocationLimitMb = 64;

QByteArray jpeg(const QImage &image, int side)
{
    const QImage scaled =
        image.width() > side || image.height() > side
            ? image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : image;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(82);
    return writer.write(scaled.convertToFormat(QImage::Format_RGB888)) ? bytes : QByteArray();
}

} // namespace

bool makeThumbnails(const QByteArray &picture, QByteArray *small, QByteArray *large)
{
    QByteArray bytes = picture;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kAllocationLimitMb);
    const QImage image = reader.read();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return false;
    *small = jpeg(image, kSmallThumbnail);
    *large = jpeg(image, kLargeThumbnail);
    return !small->isEmpty() && !large->isEmpty();
}

void preloadImageFormats()
{
    QImage one(2, 2, QImage::Format_RGB32);
    one.fill(Qt::gray);
    for (const char *format : {"jpeg", "png", "webp"}) {
        QByteArray bytes;
        QBuffer out(&bytes);
        out.open(QIODevice::WriteOnly);
        QImageWriter(&out, format).write(one);
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        QImageReader(&in, format).read();
    }
}
