#pragma once

#include <QFuture>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>

// Loads attached pictures and makes their JPEG copies. A copy is made on a worker thread, one
// at a time, so that no more than one full-size picture is decoded at once; the work touches
// only QImage and files, never a widget, and its outcome comes back through the QFuture.
class UploadImageLoader
{
public:
    // Largest picture decoded, as 32-bit pixels: a small file can declare an enormous picture,
    // and decoding it would exhaust the memory of the host.
    static constexpr qint64 kMaxDecodedBytes = 256 * 1024 * 1024;
    // A saved copy is at most this many bytes.
    static constexpr double kSavedImageLimit = 1048576.0;

    // Whether the file's header declares a picture that may be decoded: readable, and within
    // the decoding limit. Reads no pixel data.
    static bool IsDecodable(const QString& path);
    // The file's picture scaled to fit box (aspect ratio kept), decoding as little as the
    // format allows: a JPEG at reduced scale, any other format whole, and then that whole
    // picture is also handed out in *whole (when given) so that it is never decoded twice.
    // Null when the file does not load or its picture exceeds the decoding limit.
    static QImage LoadPreview(const QString& path, const QSize& box, QImage* whole = nullptr);
    // The copy of the file's picture, as the worker makes it: decoded once (a colour JPEG only
    // to its YCbCr planes) and fitted into kSavedImageLimit bytes. Empty when the file does not
    // load or exceeds the decoding limit.
    static QByteArray FitFile(const QString& path);
    // The picture scaled to fit box, never to an empty size.
    static QImage Fit(const QImage& picture, const QSize& box);

    // What a worker loads of a file for its thumbnail: the preview fitted into the box, and the
    // whole picture when the format had to be decoded whole for it (not a JPEG).
    struct Preview
    {
        QImage preview;
        QImage whole;
    };
    // Starts LoadPreview of the file on the worker; a null preview when the file does not
    // load or exceeds the limit.
    static QFuture<Preview> StartPreview(const QString& path, const QSize& box);
    // Starts making a copy on the worker: picture, or when it is null the file at srcPath
    // (decoded once, a colour JPEG only to its YCbCr planes), fitted into kSavedImageLimit
    // bytes and written atomically at savePath (its directory made when missing). The result
    // is false when the picture did not load. Once bWanted is false, the work not done yet is
    // skipped and nothing is written.
    static QFuture<bool> StartCopy(const QString& srcPath, QImage picture, const QString& savePath,
                                   std::shared_ptr<std::atomic<bool>> bWanted);
    // Waits until no copy is being made (for orderly shutdown and tests). False on timeout.
    static bool WaitForCopies(int msecs = -1);
};
