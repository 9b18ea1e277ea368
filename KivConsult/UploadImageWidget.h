#pragma once

#include "ConsultImageEntity.h"
#include "HttpObserverBase.h"
#include "IDpiAdapter.h"
#include "ZorBaseWidget.h"

#include <QList>
#include <QMap>
#include <QSharedPointer>
#include <QString>

class QHBoxLayout;
class QImage;
class QSpacerItem;
class UploadImageLabel;

// The strip of attached images below the dialog's Upload and Capture buttons. Images are
// uploaded through the host's image service only when the user submits, and an image that
// already has an address is never uploaded again.
//
// Ways in: AddImageFile(path) for a file that passed the dialog's checks: its thumbnail made on
// a worker (a JPEG from a reduced decode) and added when it has loaded, its copy made from the
// file, SigLoadFailed when either does not load;
// AddImage(picture) for a picture already in memory (captured, pasted); AddImage(true, "")
// for the clipboard's picture; AddImage(false, path) for a file loaded by the thumbnail
// itself, a reduced decode on the GUI thread where the format has one. A thumbnail shows one
// event-loop turn after it is added (SigImgSave of UploadImageLabel); its JPEG copy is made
// on a worker thread and announced by SigCopySaved. HasPendingCopy() tells whether any
// load or copy is still to come; UploadImages() waits for them before it uploads.
class UploadImageWidget : public ZorBaseWidget, public IDpiAdapter, public HttpObserverBase
{
    Q_OBJECT
public:
    explicit UploadImageWidget(QWidget* parent = nullptr);
    ~UploadImageWidget() override;

    void AddImage(bool bClipboard, const QString& path);
    void AddImage(const QImage& picture);
    void AddImageFile(const QString& path);
    // Thumbnails and files still loading count.
    bool HasImage() const;
    // The images attached, those still loading included, and how many the strip takes.
    int GetImageCount() const { return m_labelList.size() + m_loadsInFlight; }
    int GetMaxCount() const { return m_maxCount; }
    // Whether some file or thumbnail is still loading or a copy is not made yet.
    bool HasPendingCopy() const;
    // Starts the uploads still needed, once every pending copy is made.
    void UploadImages();
    bool IsAllUploaded() const;
    // The uploaded images, in the order of their saved paths.
    QList<QSharedPointer<ConsultImageEntity>> GetImageList() const;

    void AdjustForDpi() override;
    void HandleMessage(int id, QSharedPointer<IHttpRequest> request,
                       QSharedPointer<IHttpResponse> response) override;

signals:
    // true: the strip shows its first image; false: it became empty.
    void SigUpdateHeight(bool bLarge);
    // true: the maximum is reached; false: one below it.
    void SigUpdateStyle(bool bMax);
    void SigUploadResult(bool bSuccess);
    // A thumbnail's copy is written at savePath (its GetSavePath()).
    void SigCopySaved(const QString& savePath);
    // The file given to AddImageFile did not load; no thumbnail was added for it, or the one
    // shown from its reduced decode was removed because the whole picture did not decode.
    void SigLoadFailed(const QString& path);

private slots:
    void SlotDeleteImage();
    void SlotImageSave(bool bSuc);
    void SlotCopyDone(bool bSuc);

private:
    UploadImageLabel* NewLabel();
    // The thumbnail that sent the signal; one that failed to load is removed, and then null.
    UploadImageLabel* LoadedSender(bool bSuc);
    void RemoveLabel(UploadImageLabel* label);
    void UpdateState();
    void ResumeUploads();

    QHBoxLayout* m_pLayout = nullptr;
    QSpacerItem* m_pSpacer = nullptr;
    QList<UploadImageLabel*> m_labelList;
    QMap<QString, QString> m_imageUrlMap;
    int m_maxCount = 5;
    // UploadImages() was called while copies were pending: it runs once they are made.
    bool m_bUploadWaiting = false;
    // Files given to AddImageFile whose decode has not ended.
    int m_loadsInFlight = 0;
};
