#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the termination signals (SIGINT, SIGTERM, SIGHUP) into a Qt signal on the GUI
// thread, so that the host can stop the service it started before it goes: killed without
// this, the host would leave advisory-server running. Does nothing where there are no such
// signals.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void SigTerminationRequested(int signalNumber);

private slots:
    void SlotSignalArrived();

private:
    QSocketNotifier* m_notifier = nullptr;
};
