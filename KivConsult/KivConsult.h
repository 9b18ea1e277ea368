#pragma once

#include "KivConsultExport.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;
class ZorConsultDialog;

// The problem-feedback module as the host sees it. On the GUI thread the host:
//   1. takes KivConsult::Instance() (or constructs a KivConsult itself);
//   2. connects SigSubmitSuccess and SigOpenRecordUrl (the module opens no page itself);
//   3. optionally calls RequestBusinessType() early, to have the categories cached;
//   4. calls ShowFeedbackDlg() whenever the user asks for the feedback dialog;
//   5. calls ReleaseInstance() at shutdown, or leaves the release to module unload.
class KIVCONSULT_EXPORT KivConsult : public QObject
{
    Q_OBJECT
public:
    // Where the dialog is opened from, and so where its categories come from while none
    // are cached: 0 the advisory service; 1 and 2 a fixed list; any other value none.
    // Every value but 0 opens the dialog without the category row.
    enum ConsultSourceType : int {
        SourceDefault = 0,
        SourceLoginProblem = 1,
        SourceOtherProblem = 2,
    };

    explicit KivConsult(QObject* parent = nullptr);
    ~KivConsult() override;

    static KivConsult* Instance();
    static void ReleaseInstance();

    // Asks the advisory service for the categories unless some are cached.
    void RequestBusinessType();

    // Loads categories if needed and shows the feedback dialog, creating it under parent
    // when none is open; an open dialog is reused and brought to the front.
    void ShowFeedbackDlg(QWidget* parent, ConsultSourceType type, const QString& browserVersion);

signals:
    // The address of the feedback-record page, for the host to open.
    void SigOpenRecordUrl(const QString& strUrl);
    // A feedback was submitted; the id is the one the advisory service assigned.
    void SigSubmitSuccess(const QString& feedbackId);

private slots:
    void SlotOpenRecordUrl();

private:
    void GetBusinessType(ConsultSourceType type);

    ConsultSourceType m_sourceType = SourceDefault;
    QPointer<ZorConsultDialog> m_dialog;
};
