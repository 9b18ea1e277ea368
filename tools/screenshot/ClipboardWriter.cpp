#include "ClipboardWriter.h"

#include <QBuffer>
#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace {

// xclip reads the picture from a pipe and forks; both take well under a second. The limit only
// keeps a wedged X server from hanging the caller, who waits for this program to end.
constexpr int kXclipTimeoutMs = 30000;

} // namespace

bool ClipboardWriter::Write(const QImage& image)
{
    m_strError.clear();
    if (image.isNull())
        return Fail(QStringLiteral("there is no picture to copy"));

    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const QString xclip = QStandardPaths::findExecutable(QStringLiteral("xclip"));
        if (!xclip.isEmpty())
            return WriteThroughXclip(xclip, image);
        // Qt hands its selection to a running clipboard manager when the application ends;
        // without one the picture is gone as soon as this program exits.
        std::fputs("xclip was not found: the picture outlives this program only if a clipboard "
                   "manager is running\n",
                   stderr);
    }
    QGuiApplication::clipboard()->setImage(image);
    return true;
}

bool ClipboardWriter::WriteThroughXclip(const QString& program, const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return Fail(QStringLiteral("the picture could not be encoded as PNG"));

    QProcess xclip;
    // The child that stays behind to serve the selection must not hold a pipe of ours.
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.start(program, {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                          QStringLiteral("-t"), QStringLiteral("image/png"), QStringLiteral("-i")});
    if (!xclip.waitForStarted(kXclipTimeoutMs))
        return Fail(QStringLiteral("xclip could not be started: %1").arg(xclip.errorString()));
    xclip.write(png);
    xclip.closeWriteChannel();
    // The first xclip process exits once it has read everything and owns the selection; only
    // then may this program end, or the picture would be cut off or never taken.
    if (!xclip.waitForFinished(kXclipTimeoutMs)) {
        xclip.kill();
        xclip.waitForFinished(kXclipTimeoutMs);
        return Fail(QStringLiteral("xclip did not take the picture in time"));
    }
    if (xclip.exitStatus() != QProcess::NormalExit)
        return Fail(QStringLiteral("xclip crashed"));
    if (xclip.exitCode() != 0) {
        const QString details = QString::fromLocal8Bit(xclip.readAllStandardError()).trimmed();
        return Fail(QStringLiteral("xclip failed with exit code %1%2")
                        .arg(xclip.exitCode())
                        .arg(details.isEmpty() ? QString() : QStringLiteral(": ") + details));
    }
    return true;
}

bool ClipboardWriter::Fail(const QString& error)
{
    m_strError = error;
    return false;
}
