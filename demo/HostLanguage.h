#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTranslator>

// The host's choice of language. The module installs no translator of its own: the host
// loads the module's catalogue, which the module's library carries as the resource
// ":/translations/kivconsult_<language>.qm", and Qt's own catalogue (the file dialog's
// texts) when the system has it, and installs both as the application's translators.
class HostLanguage : public QObject
{
    Q_OBJECT
public:
    explicit HostLanguage(QObject* parent = nullptr);
    ~HostLanguage() override;

    // The languages the module has a catalogue for, such as "zh_CN"; English, the language of
    // the source texts, is always there and not listed.
    static QStringList Available();

    // An empty language or "en" returns to the source texts. False, and nothing changed, when
    // the module has no catalogue for the language. Open windows follow on the next turn of
    // the event loop (QEvent::LanguageChange).
    bool Use(const QString& language);
    // Empty while the source texts are shown.
    QString Current() const { return m_current; }

signals:
    void SigLanguageChanged(const QString& language);

private:
    QTranslator m_module;
    QTranslator m_qt;
    QString m_current;
};
