#pragma once

#include "DemoOptions.h"

#include "KivConsult.h"

#include <QString>
#include <QWidget>

class HostLanguage;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;

// The merchant client's main window as far as feedback goes: the merchant's facts (applied
// to the host's session data as they are edited), the browser version handed to the dialog,
// one button per place the dialog is opened from, and what the module reported back.
class HostWindow : public QWidget
{
    Q_OBJECT
public:
    // bOpenPages: open the history page in the system browser when the module asks for it
    // (a scripted run only lists the address). language: what the Language menu switches.
    HostWindow(const MerchantFacts& facts, const QString& browserVersion, bool bOpenPages,
               HostLanguage* language, QWidget* parent = nullptr);

    // Shown once the host knows which advisory service its gateway talks to.
    void SetServiceDescription(const QString& text);
    MerchantFacts GetFacts() const;
    QString GetBrowserVersion() const;

    // The button that opens the dialog as the client's main "report a problem" entry does.
    QPushButton* GetReportButton() const { return m_reportButton; }

signals:
    void SigFeedbackIdListed(const QString& feedbackId);
    void SigRecordUrlListed(const QString& url);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void SlotFactsEdited();
    void SlotSubmitSuccess(const QString& feedbackId);
    void SlotOpenRecordUrl(const QString& url);

private:
    void ShowFeedbackDialog(KivConsult::ConsultSourceType sourceType);
    void AddLanguageMenu(HostLanguage* language);
    // One checkable entry per skin of the host; the checked one follows the current skin.
    void AddSkinMenu();

    QLineEdit* m_venderIdEdit = nullptr;
    QLineEdit* m_pinEdit = nullptr;
    QLineEdit* m_appVersionEdit = nullptr;
    QLineEdit* m_clientIpEdit = nullptr;
    QLineEdit* m_deviceIdEdit = nullptr;
    QLineEdit* m_browserVersionEdit = nullptr;
    QPushButton* m_reportButton = nullptr;
    QListWidget* m_feedbackList = nullptr;
    QListWidget* m_recordUrlList = nullptr;
    QLabel* m_serviceLabel = nullptr;
    QMenuBar* m_menuBar = nullptr;
    bool m_bOpenPages = true;
};
