#pragma once

// Pieces shared by the suites of the feedback dialog, the image picking and the facade.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

#include <functional>

class ConsultBusinessTypeEntity;
class ConsultDescEntity;
class ManualGateway;
class QSize;
class QTcpSocket;
class QObject;
class QWidget;

namespace DialogTestKit {

// The host's files for one suite, all inside a temporary directory: configuration,
// image cache, file-dialog start directory and code-tracking log.
class HostSandbox
{
public:
    // False when the temporary directory could not be made.
    bool setUp();

    QString path(const QString& relative) const;
    QString imageCacheDir() const;
    QString trackingLog() const;

private:
    QTemporaryDir m_dir;
};

// A category tree from its JSON text, as the advisory service sends it.
QList<QSharedPointer<ConsultBusinessTypeEntity>> categories(const QByteArray& json);

// Writes a picture of the size, in the format the suffix names; returns the path.
QString savePicture(const QString& path, const QSize& size, const char* format = nullptr);

// The feedback records the gateway was given, in the order they were sent.
QList<QSharedPointer<ConsultDescEntity>> sentRecords(const ManualGateway& gateway);

// What the dialog's category picker offers: "code(child,child...)" per first-level entry;
// a child that carries children of its own adds "deeper".
QStringList pickerCodes(const QWidget* dialog);

// Top-level widgets on screen, toasts left out (they go by themselves).
QList<QWidget*> visibleWindows();

// Answers the next modal file dialog, as long as owner lives, with file (removed once chosen,
// before the caller gets its name, if bRemove) or, given none, cancels; startDirectory gets
// where the dialog opened, and stays as it was while none opens.
void answerFileDialog(QObject* owner, QString* startDirectory, const QString& file,
                      bool bRemove = false);

// The image service on 127.0.0.1: answers each upload with the body that reply gives for
// its number (0 for the first upload).
class LocalUploadServer : public QTcpServer
{
public:
    explicit LocalUploadServer(QObject* parent = nullptr);

    bool start();
    QString uploadUrl() const;

    std::function<QByteArray(int index)> reply;
    int uploads = 0;
    // While set, uploads get no answer until release().
    bool hold = false;
    void release();

    static QByteArray stored(int index);
    static QByteArray refused();

private:
    void serve(QTcpSocket* socket);
    void answer(QTcpSocket* socket, int index);

    QList<QPair<QPointer<QTcpSocket>, int>> m_held;
};

} // namespace DialogTestKit
