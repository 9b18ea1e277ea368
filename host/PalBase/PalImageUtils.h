#pragma once

#include "palbase_export.h"

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QString>

class PALBASE_EXPORT PalImageUtils
{
public:
    // The MIME type of the file, decided by its first bytes, not its name: "image/png",
    // "image/jpeg", "image/gif", "image/bmp", "image/webp", "image/tiff", "image/x-icon";
    // an empty string for anything else (no image type for text, an empty or missing file).
    static QString GetImgContentType(const QString& path);

    // Makes a JPEG file fit into limit bytes: a JPEG already within the limit, or a file that
    // is not a JPEG, is left untouched. Otherwise it is rewritten at the highest JPEG quality
    // that fits, and only when no quality fits, with a reduced pixel size (aspect ratio kept).
    // Returns the file's final bytes (empty when it cannot be read).
    static QByteArray ScaleImage(const QString& path, double limit);

    // The picture as a JPEG of at most limit bytes, with optimised Huffman tables: at the
    // highest quality that fits, and only when no quality fits, with a reduced pixel size
    // (aspect ratio kept). Empty when the picture is null or not even one pixel fits. Uses
    // QImage only, so it may run on any thread. A picture handed over as its only copy
    // (std::move) is converted in place to three bytes a pixel: less memory beside the
    // encoder's buffers, and rows the encoder takes as they are.
    static QByteArray FitJpeg(QImage image, double limit);

    // The picture of a JPEG file, fitted as FitJpeg fits a picture, always re-encoded. A 4:2:0
    // colour JPEG (what cameras write) is decoded once to its YCbCr planes and re-encoded from
    // them, never converted to RGB, with optimised tables that need no buffer of the whole
    // picture's coefficients: less than half the memory of a decoded QImage, and less time.
    // Other JPEGs are decoded to a QImage. Empty when the file does not decode. The picture is
    // decoded whatever its size: a caller taking files from elsewhere checks the size its
    // header declares first.
    static QByteArray FitJpegFile(const QByteArray& file, double limit);

    // The picture scaled to width x height (aspect ratio kept, centred) with corners rounded
    // by the radii rx, ry; alpha (0..255) is the opacity of the picture.
    static QPixmap PixmapToRound(const QPixmap& source, int width, int height, int rx, int ry,
                                 int alpha);
};
