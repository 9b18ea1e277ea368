#pragma once

#include "HttpObserverBase.h"
#include "ZorBaseDialog.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

class QMimeData;
class UploadImageWidget;
class ZorConsultDialogForm;

// The problem-feedback dialog: category, description (at most 250 characters), telephone
// number and up to five images; checks the input on submit, has the images uploaded, sends
// one feedback record through the consult logic and reports the service's answer.
class ZorConsultDialog : public ZorBaseDialog, public HttpObserverBase
{
    Q_OBJECT
public:
    explicit ZorConsultDialog(QWidget* parent = nullptr);
    ~ZorConsultDialog() override;

    void SetBrowserVersion(const QString& text);
    // Hides the category row and the record button; the first category and its first
    // child are preselected by InitData.
    void SetFixedTypeMode();
    // Fills the category picker from the consult logic's cache.
    void InitData();

    void AdjustForDpi() override;
    bool IsMovable() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void HandleMessage(int id, QSharedPointer<IHttpRequest> request,
                       QSharedPointer<IHttpResponse> response) override;

    // The description's maximum length in characters.
    static constexpr int kMaxDescLength = 250;

signals:
    void SigOpenRecordUrl();
    void SigSubmitSuccess(const QString& feedbackId);

private slots:
    void SlotUpdateHeight(bool bLarge);
    void SlotUpdateImageStyle(bool bDisable);
    void SlotUploadImageResult(bool bSuccess);
    void SlotUploadClicked();
    void SlotCaptureClicked();
    void SlotRecord();
    void SlotSubmit();
    void SlotCancel();
    void SlotDescriptionChanged();
    void SlotPhoneChanged();
    void SlotPaste();
    void SlotImageLoadFailed(const QString& path);

protected:
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    // Tab and Shift+Tab follow the form's visual order, the thumbnails' delete buttons included.
    bool focusNextPrevChild(bool next) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void InitUI();
    // Sets every text of the dialog in the current language.
    void RetranslateUi();
    // The description's counter, "length/maximum".
    void ShowCount(int length);
    // Ctrl+Enter, and the first focus.
    void InitKeyboard();
    // The category picker, or the description while the picker is hidden.
    QWidget* FirstField() const;
    // Every widget Tab may visit, in order, whether it can take the focus now or not.
    QList<QWidget*> TabOrder() const;
    // Enters or leaves the submitting state; Submit shows it (busy text, disabled).
    void SetSubmitting(bool bSubmitting);
    void ShowSubmitState();
    void InitConnect();
    void AdjustLayout();
    int TipOverflow() const;
    void FitDialogHeight();
    void SelectDefaultType();
    bool CheckPhone();
    void SubmitFeedback();
    // The image tip, which is also what the user is told when more than the maximum comes.
    QString ImageTipText() const;
    // The checks of a file picked through Upload; a file that passes is attached. Returns the
    // failure's toast text, empty when the file was attached.
    // function names the slot that took the file, for the code-tracking log.
    QString AttachFile(const QString& path, const char* function);
    // Attaches files in order as if each was picked through Upload, as many as the strip
    // still takes; tells each kind of failure once, and the maximum once, in one toast.
    void AttachFiles(const QStringList& paths, const char* function);
    // The local files a drag or paste carries; empty when it carries anything else too (text
    // alone, a folder, an address that is not a file).
    static QStringList LocalFiles(const QMimeData* mimeData);
    void ShowDropHighlight(bool bShow);
    // Files come in rounds (one pick through Upload, one paste, one drop); within a round
    // each kind of failure is told once, also when a file fails to load only later.
    void BeginAttachRound();
    // Adds the failures (empty ones are successes) to the round's and, if any is new, shows
    // them all in one toast, one per line.
    void TellFailures(const QStringList& failures);
    // Handles a drag or drop of files; true when the event was the dialog's.
    bool TakeFileDrag(QEvent* event);

    ZorConsultDialogForm* m_ui = nullptr;
    bool m_bSubmitting = false;
    UploadImageWidget* m_pUploadWidget = nullptr;
    QString m_submitIdentity;
    // Since the last accepted submission: the identity each content was sent under, so that
    // a resubmit of the same content is stored at most once by the service.
    QHash<QByteArray, QString> m_sentIdentities;
    bool m_bShowType = true;
    QString m_browserVersion;
    bool m_bCaptureSuccess = false;
    // Between UploadImages() and the first SigUploadResult of that round: only then does an
    // upload result belong to a submission of this dialog.
    bool m_bWaitingUpload = false;
    // The strip holds an image: the operation row and the strip take the large height.
    bool m_bLargeUpload = false;
    // Height added to the dialog for a tip the description cannot make room for.
    int m_dialogGrowth = 0;
    // Where the focus went when Submit, holding it, turned busy; it returns to Submit from there.
    QPointer<QWidget> m_pBusyFocus;
    // Over the image row while files are dragged over the dialog.
    QWidget* m_pDropHighlight = nullptr;
    int m_attachRound = 0;
    // The failures told in the latest round.
    QStringList m_roundFailures;
    // The round of each file whose decode the strip has not reported as failed.
    QHash<QString, int> m_loadingRound;
};
