#include "DialogTestKit.h"

#include "ConsultBusinessTypeEntity.h"
#include "ConsultDescEntity.h"
#include "ConsultSubmitDescRequest.h"
#include "HttpRequestReader.h"
#include "ManualGateway.h"
#include "ZorCacheManager.h"
#include "ZorCategoryComBox.h"
#include "ZorCodeTracking.h"
#include "ZorConfigManager.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSize>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>

namespace DialogTestKit {

bool HostSandbox::setUp()
{
    if (!m_dir.isValid())
        return false;
    ZorConfigManager::Instance()->SetConfigFile(path(QStringLiteral("host.ini")));
    ZorCacheManager::Instance()->SetImageCacheDir(imageCacheDir());
    ZorCacheManager::Instance()->SetDefaultExportPath(path(QStringLiteral("start")));
    ZorCodeTracking::SetLogFilePath(trackingLog());
    return QDir().mkpath(path(QStringLiteral("start")));
}

QString HostSandbox::path(const QString& relative) const
{
    return m_dir.filePath(relative);
}

QString HostSandbox::imageCacheDir() const
{
    return path(QStringLiteral("cache")) + QLatin1Char('/');
}

QString HostSandbox::trackingLog() const
{
    return path(QStringLiteral("code-tracking.log"));
}

QList<QSharedPointer<ConsultBusinessTypeEntity>> categories(const QByteArray& json)
{
    return ConsultBusinessTypeEntity::ParseList(QJsonDocument::fromJson(json).array());
}

QString savePicture(const QString& path, const QSize& size, const char* format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return image.save(path, format) ? path : QString();
}

QList<QSharedPointer<ConsultDescEntity>> sentRecords(const ManualGateway& gateway)
{
    QList<QSharedPointer<ConsultDescEntity>> records;
    for (const ManualGateway::Call& call : gateway.calls) {
        if (const auto* request = dynamic_cast<ConsultSubmitDescRequest*>(call.request.data()))
            records.append(request->GetDescEntity());
    }
    return records;
}

QStringList pickerCodes(const QWidget* dialog)
{
    QStringList codes;
    const auto* picker = dialog->findChild<ZorCategoryComBox*>(QStringLiteral("typeEdit"));
    for (const auto& item : picker->GetListData()) {
        QStringList children;
        for (const auto& child : item->children) {
            children << child->id.toString();
            if (!child->children.isEmpty())
                children << QStringLiteral("deeper");
        }
        codes << item->id.toString() + QLatin1Char('(') + children.join(QLatin1Char(',')) +
                     QLatin1Char(')');
    }
    return codes;
}

QList<QWidget*> visibleWindows()
{
    QList<QWidget*> result;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->objectName() != QLatin1String("zorToast"))
            result.append(widget);
    }
    return result;
}

void answerFileDialog(QObject* owner, QString* startDirectory, const QString& file, bool bRemove)
{
    auto* poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, poll, [=]() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        *startDirectory = dialog->directory().absolutePath();
        if (file.isEmpty())
            return dialog->reject();
        dialog->selectFile(file);
        // QFileDialog::accept checks the choice; it is public as QDialog's.
        static_cast<QDialog*>(dialog)->accept();
        if (bRemove)
            QFile::remove(file);
    });
    poll->start(5);
}

LocalUploadServer::LocalUploadServer(QObject* parent) : QTcpServer(parent)
{
    connect(this, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket* socket = nextPendingConnection())
            serve(socket);
    });
}

bool LocalUploadServer::start()
{
    return listen(QHostAddress::LocalHost, 0);
}

QString LocalUploadServer::uploadUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/image/upload").arg(serverPort());
}

QByteArray LocalUploadServer::stored(int index)
{
    return QByteArrayLiteral("{\"code\":0,\"msg\":\"\",\"data\":{\"url\":\"http://127.0.0.1/img/") +
           QByteArray::number(index) + QByteArrayLiteral(".jpg\"}}");
}

QByteArray LocalUploadServer::refused()
{
    return QByteArrayLiteral("{\"code\":4102,\"msg\":\"not an image\",\"data\":null}");
}

void LocalUploadServer::serve(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    HttpRequestReader::readOne(socket, this, [this, socket](const QByteArray&) {
        const int index = uploads++;
        if (hold)
            m_held.append({socket, index});
        else
            answer(socket, index);
    });
}

void LocalUploadServer::release()
{
    hold = false;
    const auto held = m_held;
    m_held.clear();
    for (const auto& upload : held) {
        if (upload.first)
            answer(upload.first, upload.second);
    }
}

void LocalUploadServer::answer(QTcpSocket* socket, int index)
{
    const QByteArray body = reply ? reply(index) : stored(index);
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}

} // namespace DialogTestKit
