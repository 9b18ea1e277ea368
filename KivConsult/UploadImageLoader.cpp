#include "UploadImageLoader.h"

#include "PalImageUtils.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPointer>
#include <QSaveFile>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Whether the picture in the file would fit the decoding limit; a size the reader cannot
// tell in advance is left to the decoder.
bool IsWithinLimit(QImageReader& reader)
{
    const QSize size = reader.size();
    if (!size.isValid())
        return true;
    return qint64(size.width()) * qint64(size.height()) * 4 <= UploadImageLoader::kMaxDecodedBytes;
}

// One worker: a full-size picture (48 MiB at 12 megapixels) and its encoder's buffers are
// alive for one copy at a time. The pool dies with the application, waiting for the copy
// under way, so no worker outlives the objects it uses. GUI thread only.
QThreadPool* CopyPool()
{
    static QPointer<QThreadPool> s_pool;
    if (!s_pool) {
        s_pool = new QThreadPool(QCoreApplication::instance());
        s_pool->setMaxThreadCount(1);
    }
    return s_pool;
}

void WriteCopy(const QString& savePath, const QByteArray& bytes)
{
    const QString dir = QFileInfo(savePath).absolutePath();
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    // Under a temporary name until complete: the upload never sees a half-written copy. A
    // copy that could not be written is noticed when its upload fails.
    QSaveFile file(savePath);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        file.commit();
}

} // namespace

bool UploadImageLoader::IsDecodable(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.size().isValid() && IsWithinLimit(reader);
}

QImage UploadImageLoader::LoadPreview(const QString& path, const QSize& box, QImage* whole)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!IsWithinLimit(reader))
        return QImage();
    const QSize size = reader.size();
    if (reader.format() == "jpeg" && size.isValid()) {
        // libjpeg decodes at 1/2, 1/4 or 1/8 scale: most of a full decode's work is skipped.
        reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        return reader.read();
    }
    const QImage picture = reader.read();
    if (whole)
        *whole = picture;
    return picture.isNull() ? QImage() : Fit(picture, box);
}

QByteArray UploadImageLoader::FitFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = file.readAll();
    file.close();
    // The header is read again from the very bytes that are decoded.
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    if (!IsWithinLimit(reader))
        return QByteArray();
    if (reader.format() == "jpeg")
        return PalImageUtils::FitJpegFile(bytes, kSavedImageLimit);
    return PalImageUtils::FitJpeg(reader.read(), kSavedImageLimit);
}

QImage UploadImageLoader::Fit(const QImage& picture, const QSize& box)
{
    const QSize size = picture.size().scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QFuture<UploadImageLoader::Preview> UploadImageLoader::StartPreview(const QString& path,
                                                                  const QSize& box)
{
    return QtConcurrent::run(CopyPool(), [path, box]() {
        Preview loaded;
        loaded.preview = LoadPreview(path, box, &loaded.whole);
        if (loaded.preview.isNull())
            loaded.whole = QImage();
        return loaded;
    });
}

QFuture<bool> UploadImageLoader::StartCopy(const QString& srcPath, QImage picture,
                                           const QString& savePath,
                                           std::shared_ptr<std::atomic<bool>> bWanted)
{
    // Held once, not copied with the function: the worker's picture is then its only copy,
    // which it can convert in place.
    const auto held = std::make_shared<QImage>(std::move(picture));
    return QtConcurrent::run(CopyPool(), [srcPath, held, savePath, bWanted]() {
        if (!*bWanted)
            return false;
        QImage image = std::move(*held);
        // Its only copy: fitting converts it in place and frees it when done.
        const QByteArray bytes = image.isNull()
                                     ? FitFile(srcPath)
                                     : PalImageUtils::FitJpeg(std::move(image), kSavedImageLimit);
        // Nothing fits 1 MiB only when nothing was decoded: a single pixel would.
        if (bytes.isEmpty())
            return false;
        if (*bWanted)
            WriteCopy(savePath, bytes);
        return true;
    });
}

bool UploadImageLoader::WaitForCopies(int msecs)
{
    return CopyPool()->waitForDone(msecs);
}
