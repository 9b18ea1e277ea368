#include "UploadImageLabel.h"

#include "ConsultConfig.h"
#include "DpiTool.h"
#include "PalImageUtils.h"

#include <QClipboard>
#include <QCursor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QUuid>

namespace {

// The saved copy is shrunk to at most this many bytes before it is ever uploaded.
constexpr double kSavedImageLimit = 1048576.0;

} // namespace

UploadImageLabel::UploadImageLabel(QWidget* parent) : QLabel(parent, Qt::WindowFlags())
{
    m_pDelBtn = new QPushButton(this);
    m_pDelBtn->setObjectName(QStringLiteral("imgDelBtn"));
    connect(m_pDelBtn, &QPushButton::clicked, this, &UploadImageLabel::SigDelete);
    m_pDelBtn->hide();
}

UploadImageLabel::~UploadImageLabel() = default;

void UploadImageLabel::SetImage(bool bClipboard, const QString& path)
{
    m_bClipboard = bClipboard;
    m_srcPath = path;
    QTimer::singleShot(0, this, &UploadImageLabel::SlotTimeOut);
}

QString UploadImageLabel::GetSavePath() const
{
    return m_savePath;
}

void UploadImageLabel::SlotTimeOut()
{
    QPixmap pixmap(m_srcPath);
    if (m_bClipboard)
        pixmap = QGuiApplication::clipboard()->pixmap(QClipboard::Clipboard);

    if (pixmap.isNull()) {
        emit SigImgSave(false);
        return;
    }

    // The strip lays the thumbnail out before the copy exists; it must not have been
    // destroyed by anyone meanwhile.
    const QPointer<UploadImageLabel> self(this);
    emit SigImgSave(true);
    if (!self)
        return;
    SaveImage(pixmap);
    RenderThumbnail(pixmap);
}

void UploadImageLabel::SaveImage(const QPixmap& pixmap)
{
    const QImage image = pixmap.toImage();
    const QString dir = ConsultConfig().GetImageCacheDir();
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    // The host's directory text ends with a separator, so the name follows it directly.
    m_savePath = dir + QStringLiteral("UploadImage") +
                 QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".jpg");
    // A copy that could not be written is noticed when its upload fails.
    image.save(m_savePath, "JPEG", 100);
    PalImageUtils::ScaleImage(m_savePath, kSavedImageLimit);
}

void UploadImageLabel::RenderThumbnail(const QPixmap& pixmap)
{
    const QImage image = pixmap.toImage();
    if (image.isNull())
        return;
    const QPixmap scaled = QPixmap::fromImage(image.scaled(
        DpiTool::ScaleDefault(QSize(64, 64)), Qt::KeepAspectRatio, Qt::FastTransformation));
    setPixmap(PalImageUtils::PixmapToRound(scaled, DpiTool::ScaleDefault(64),
                                           DpiTool::ScaleDefault(64), DpiTool::ScaleDefault(2),
                                           DpiTool::ScaleDefault(2), 255));
}

void UploadImageLabel::enterEvent(QEvent* event)
{
    m_pDelBtn->show();
    QLabel::enterEvent(event);
}

void UploadImageLabel::leaveEvent(QEvent* event)
{
    m_pDelBtn->hide();
    QLabel::leaveEvent(event);
}

void UploadImageLabel::moveEvent(QMoveEvent* event)
{
    // The strip closes the gap after a deletion by moving the thumbnails: one may arrive
    // under a resting cursor, or leave it, without any enter or leave event.
    m_pDelBtn->setVisible(rect().contains(mapFromGlobal(QCursor::pos())));
    QLabel::moveEvent(event);
}

void UploadImageLabel::resizeEvent(QResizeEvent* event)
{
    m_pDelBtn->move((width() - m_pDelBtn->width()) / 2, (height() - m_pDelBtn->height()) / 2);
    QLabel::resizeEvent(event);
}
