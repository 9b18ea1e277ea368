#pragma once

#include <QImage>
#include <QLabel>
#include <QString>

#include <atomic>
#include <memory>

class QPushButton;
class UploadBusyOverlay;
template<typename T>
class QFutureWatcher;

// One attached image: loads it (from a file, the clipboard or a picture in memory) one
// event-loop turn after SetImage and shows it at once as a rounded 64 x 64 thumbnail, then
// has its JPEG copy made in the host's image cache directory on a worker thread; shows its
// delete button ("imgDelBtn") while the cursor is over it or the button has the keyboard
// focus.
//
// The GUI thread only decodes what the thumbnail needs: a JPEG file at reduced scale (the
// full decode is the worker's), the whole picture only for a format without a reduced
// decode. Deleting the thumbnail while its copy is being made is safe: work not yet done is
// skipped, and a copy finished anyway is not used.
class UploadImageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit UploadImageLabel(QWidget* parent = nullptr);
    ~UploadImageLabel() override;

    // bClipboard: take the clipboard's picture instead of the file at path.
    void SetImage(bool bClipboard, const QString& path);
    // A picture already in memory (captured, pasted, or decoded whole when it was checked),
    // taken like a file: loaded one event-loop turn later.
    void SetImage(const QImage& picture);
    // The file at path, whose thumbnail preview a worker has made already: its copy is made
    // from the file itself, and when the file does not decode in full after all, SigCopyDone
    // is false. whole, when given, is the file's picture already decoded.
    void SetImageFile(const QString& path, const QImage& preview, const QImage& whole);
    // The file given to SetImageFile; empty for any other way in.
    QString GetPreviewedFile() const;
    // The box a thumbnail's picture is fitted into, in pixels.
    static QSize ThumbnailBox();
    // The saved JPEG copy; empty until the copy was made (SigCopyDone(true)).
    QString GetSavePath() const;
    // From SetImage until SigImgSave(false) or SigCopyDone.
    bool IsCopyPending() const;

    QWidget* GetDeleteButton() const;
    // Shows the delete button and gives it the keyboard focus (Tab reaching the thumbnail).
    void FocusDeleteButton(Qt::FocusReason reason);

    // While the image is being uploaded the thumbnail shows a busy mark ("imgUploadingMask")
    // and carries the dynamic property "uploading" for the style sheet.
    void SetUploading(bool bUploading);
    bool IsUploading() const;

signals:
    void SigDelete();
    // Once per SetImage: whether an image was obtained. Comes before the copy is made.
    void SigImgSave(bool bSuc);
    // Once after SigImgSave(true), when the copy's work has ended. true: GetSavePath() is
    // set, at most 1 MiB written there (a failed write shows when its upload fails). false:
    // the full picture did not load after all; the thumbnail is to be dropped like one that
    // does not load.
    void SigCopyDone(bool bSuc);

private slots:
    void SlotTimeOut();
    void SlotCopyFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void StartCopy(QImage picture);
    void RenderThumbnail(const QImage& preview);
    void RetranslateUi();
    // Whether the delete button should show: the cursor over the thumbnail, or the focus on it.
    bool IsDeleteWanted() const;

    QPushButton* m_pDelBtn = nullptr;
    UploadBusyOverlay* m_pBusyOverlay = nullptr;
    QString m_savePath;
    bool m_bClipboard = true;
    QString m_srcPath;
    // Given by SetImage(QImage) or SetImageFile until it is loaded.
    QImage m_picture;
    QImage m_preview;
    QString m_previewedFile;
    bool m_bCopyPending = false;
    // Where the copy under way is written; it becomes m_savePath once it is.
    QString m_copyPath;
    QFutureWatcher<bool>* m_pCopyWatcher = nullptr;
    // Cleared when the thumbnail goes: the worker then skips what it has not done yet.
    std::shared_ptr<std::atomic<bool>> m_bCopyWanted;
};
