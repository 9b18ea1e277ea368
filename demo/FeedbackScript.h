#pragma once

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class HostWindow;
class QFileDialog;
class QLabel;
class QWidget;
class ZorCategoryComBox;

// One feedback from the host's "Report a problem" button to the stored record, done the way a
// user does it: real clicks and key strokes on the dialog's widgets, a photo chosen through
// the file dialog. Prints what it does on stdout; a failing step ends the run with its reason
// and the failure messages the dialog showed.
class FeedbackScript : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString description;
        QString phone;
        QString screenshotPath;
        QString photoPath;
        // Base address of the advisory service, for reading the stored record back.
        QString serviceUrl;
    };

    FeedbackScript(HostWindow* window, const Settings& settings, QObject* parent = nullptr);

    // Runs every step in order; returns the process exit code (0 when all passed).
    int Run();
    QString GetCurrentStep() const { return m_currentStep; }

    // How long the dialog may take for the slowest step, submitting with an image.
    static constexpr int kSubmitTimeoutMs = 60000;

private slots:
    void SlotToastShown(const QString& text, int type, QWidget* parent);

private:
    bool ShowHostWindow();
    bool OpenDialog();
    bool WaitForCategories();
    bool ChooseCategory();
    bool DescribeProblem();
    bool EnterPhone();
    bool MakePhoto();
    bool AttachPhoto();
    bool SaveScreenshot();
    bool AskForHistoryPage();
    bool Submit();
    bool WaitForDialogClosed();
    bool ReadStoredRecord();

    // Clicks a dialog button and waits until the host was told about it in report.
    bool ClickAndAwaitReport(const QString& buttonName, QString& report, int timeoutMs,
                             const QString& what);
    void ChooseFileInDialog(QFileDialog* fileDialog);
    bool ClickListItem(const QString& listName);
    // The photo's thumbnail, once it shows its picture.
    QLabel* FindThumbnail() const;
    template<typename T>
    T* DialogChild(const QString& name);

    // Waits until done() holds. Fails early when the dialog shows a failure message meanwhile;
    // what says what was not achieved ("no thumbnail appeared").
    bool WaitFor(const std::function<bool()>& done, int timeoutMs, const QString& what);
    bool Fail(const QString& reason);

    HostWindow* m_window = nullptr;
    Settings m_settings;
    QPointer<QWidget> m_dialog;
    QPointer<ZorCategoryComBox> m_picker;
    QString m_currentStep;
    QString m_failure;
    QString m_fileDialogOutcome;
    QStringList m_failureToasts;
    QString m_feedbackId;
    QString m_recordUrl;
    QJsonObject m_storedRecord;
};
