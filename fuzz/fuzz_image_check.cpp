// A chosen image file as the dialog checks it and the attachment worker then loads it: the
// size limit, the sniffed type, the reduced decode that decides "File opening failed" within
// the decoding limit, and the copy fitted to 1 MiB (a colour JPEG from its planes).

#include "FuzzCheck.h"
#include "PalImageUtils.h"
#include "UploadImageLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

// The dialog's limit: a chosen file is accepted when its content is shorter than this.
constexpr qint64 kMaxFileBytes = 2097152;

QTemporaryDir* g_dir = nullptr;

bool WithinDecodingLimit(const QImage& image)
{
    return qint64(image.width()) * image.height() * 4 <= UploadImageLoader::kMaxDecodedBytes;
}

void CheckFile(const QString& path, qint64 size)
{
    if (size >= kMaxFileBytes)
        return;
    const QString type = PalImageUtils::GetImgContentType(path);
    if (type != QLatin1String("image/png") && type != QLatin1String("image/jpeg"))
        return;

    const QSize box(64, 64);
    QImage whole;
    const QImage preview = UploadImageLoader::LoadPreview(path, box, &whole);
    if (preview.isNull()) {
        FUZZ_CHECK(whole.isNull() || WithinDecodingLimit(whole));
        return;
    }
    // The thumbnail fits its box, whatever size the file declares.
    FUZZ_CHECK(!preview.size().isEmpty());
    FUZZ_CHECK(preview.width() <= box.width() && preview.height() <= box.height());
    FUZZ_CHECK(whole.isNull() || WithinDecodingLimit(whole));

    // Fitting re-encodes several times; a megapixel is plenty to reach every path of it.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QSize declared = reader.size();
    if (qint64(declared.width()) * declared.height() > 1000000)
        return;
    // The copy, as the worker makes it: a colour JPEG from its own planes, anything else from
    // the decoded picture. It may fail (a file cut short), but only when Qt cannot decode the
    // whole picture either; what it makes fits the limit and decodes.
    const QByteArray copy = UploadImageLoader::FitFile(path);
    if (copy.isEmpty()) {
        FUZZ_CHECK(reader.read().isNull());
        return;
    }
    FUZZ_CHECK(copy.size() <= UploadImageLoader::kSavedImageLimit);
    FUZZ_CHECK(!QImage::fromData(copy, "JPEG").isNull());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    g_dir = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The checks read a path, as the dialog hands them the chosen file's.
    const QString path = g_dir->filePath(QStringLiteral("chosen"));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    file.close();
    CheckFile(path, qint64(size));
    return 0;
}
