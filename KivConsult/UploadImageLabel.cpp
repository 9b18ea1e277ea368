#include "UploadImageLabel.h"

#include "ConsultConfig.h"
#include "DpiTool.h"
#include "PalImageUtils.h"
#include "UIUtils.h"
#include "UploadBusyOverlay.h"
#include "UploadImageLoader.h"

#include <QClipboard>
#include <QCursor>
#include <QEvent>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QUuid>

UploadImageLabel::UploadImageLabel(QWidget* parent)
    : QLabel(parent, Qt::WindowFlags())
    , m_pCopyWatcher(new QFutureWatcher<bool>(this))
    , m_bCopyWanted(std::make_shared<std::atomic<bool>>(true))
{
    m_pBusyOverlay = new UploadBusyOverlay(this);
    m_pDelBtn = new QPushButton(this);
    m_pDelBtn->setObjectName(QStringLiteral("imgDelBtn"));
    // No button of the dialog: Enter in a field must not delete an image.
    m_pDelBtn->setAutoDefault(false);
    m_pDelBtn->installEventFilter(this);
    connect(m_pDelBtn, &QPushButton::clicked, this, &UploadImageLabel::SigDelete);
    m_pDelBtn->hide();
    connect(m_pCopyWatcher, &QFutureWatcher<bool>::finished, this,
            &UploadImageLabel::SlotCopyFinished);
    setProperty("uploading", false);
    RetranslateUi();
}

UploadImageLabel::~UploadImageLabel()
{
    // The watcher goes with the thumbnail, so no result is delivered any more; the worker
    // learns here that its copy is no longer wanted.
    *m_bCopyWanted = false;
}

void UploadImageLabel::SetImage(bool bClipboard, const QString& path)
{
    m_bClipboard = bClipboard;
    m_srcPath = path;
    m_bCopyPending = true;
    QTimer::singleShot(0, this, &UploadImageLabel::SlotTimeOut);
}

void UploadImageLabel::SetImage(const QImage& picture)
{
    m_picture = picture;
    SetImage(false, QString());
}

void UploadImageLabel::SetImageFile(const QString& path, const QImage& preview,
                                    const QImage& whole)
{
    m_preview = preview;
    m_picture = whole;
    m_previewedFile = path;
    SetImage(false, path);
}

QString UploadImageLabel::GetPreviewedFile() const
{
    return m_previewedFile;
}

QSize UploadImageLabel::ThumbnailBox()
{
    return DpiTool::ScaleDefault(QSize(64, 64));
}

QString UploadImageLabel::GetSavePath() const
{
    return m_savePath;
}

bool UploadImageLabel::IsCopyPending() const
{
    return m_bCopyPending;
}

QWidget* UploadImageLabel::GetDeleteButton() const
{
    return m_pDelBtn;
}

void UploadImageLabel::FocusDeleteButton(Qt::FocusReason reason)
{
    m_pDelBtn->show();
    m_pDelBtn->setFocus(reason);
}

void UploadImageLabel::SetUploading(bool bUploading)
{
    if (bUploading == IsUploading())
        return;
    setProperty("uploading", bUploading);
    m_pBusyOverlay->setGeometry(rect());
    m_pBusyOverlay->setVisible(bUploading);
    // The delete button stays above the mark and usable.
    m_pDelBtn->raise();
    RetranslateUi();
    UIUtils::UpdateStyle(this);
}

bool UploadImageLabel::IsUploading() const
{
    return property("uploading").toBool();
}

void UploadImageLabel::RetranslateUi()
{
    m_pDelBtn->setAccessibleName(tr("Delete image"));
    m_pDelBtn->setToolTip(m_pDelBtn->accessibleName());
    setAccessibleDescription(IsUploading() ? tr("Uploading\xE2\x80\xA6") : QString());
}

bool UploadImageLabel::IsDeleteWanted() const
{
    return m_pDelBtn->hasFocus() || rect().contains(mapFromGlobal(QCursor::pos()));
}

bool UploadImageLabel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pDelBtn && event->type() == QEvent::FocusOut)
        m_pDelBtn->setVisible(IsDeleteWanted());
    return QLabel::eventFilter(watched, event);
}

void UploadImageLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        RetranslateUi();
    QLabel::changeEvent(event);
}

void UploadImageLabel::SlotTimeOut()
{
    const QSize box = ThumbnailBox();
    QImage picture = std::move(m_picture);
    m_picture = QImage();
    QImage preview = std::move(m_preview);
    m_preview = QImage();
    if (m_bClipboard)
        picture = QGuiApplication::clipboard()->image(QClipboard::Clipboard);
    // A file's thumbnail may have been made on a worker already.
    if (preview.isNull() && !picture.isNull())
        preview = UploadImageLoader::Fit(picture, box);
    else if (preview.isNull() && !m_bClipboard)
        preview = UploadImageLoader::LoadPreview(m_srcPath, box, &picture);

    if (preview.isNull()) {
        m_bCopyPending = false;
        emit SigImgSave(false);
        return;
    }

    // The strip lays the thumbnail out before the copy exists; it must not have been
    // destroyed by anyone meanwhile.
    const QPointer<UploadImageLabel> self(this);
    emit SigImgSave(true);
    if (!self)
        return;
    RenderThumbnail(preview);
    // Handed over whole: the worker may then convert it in place.
    StartCopy(std::move(picture));
}

void UploadImageLabel::StartCopy(QImage picture)
{
    // The host's directory text ends with a separator, so the name follows it directly.
    m_copyPath = ConsultConfig().GetImageCacheDir() + QStringLiteral("UploadImage") +
                 QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".jpg");
    m_pCopyWatcher->setFuture(
        UploadImageLoader::StartCopy(m_srcPath, std::move(picture), m_copyPath, m_bCopyWanted));
}

void UploadImageLabel::SlotCopyFinished()
{
    m_bCopyPending = false;
    const bool bLoaded = m_pCopyWatcher->result();
    if (bLoaded)
        m_savePath = m_copyPath;
    emit SigCopyDone(bLoaded);
}

void UploadImageLabel::RenderThumbnail(const QImage& preview)
{
    setPixmap(PalImageUtils::PixmapToRound(QPixmap::fromImage(preview), DpiTool::ScaleDefault(64),
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
    m_pDelBtn->setVisible(m_pDelBtn->hasFocus());
    QLabel::leaveEvent(event);
}

void UploadImageLabel::moveEvent(QMoveEvent* event)
{
    // The strip closes the gap after a deletion by moving the thumbnails: one may arrive
    // under a resting cursor, or leave it, without any enter or leave event.
    m_pDelBtn->setVisible(IsDeleteWanted());
    QLabel::moveEvent(event);
}

void UploadImageLabel::resizeEvent(QResizeEvent* event)
{
    m_pDelBtn->move((width() - m_pDelBtn->width()) / 2, (height() - m_pDelBtn->height()) / 2);
    m_pBusyOverlay->setGeometry(rect());
    QLabel::resizeEvent(event);
}
