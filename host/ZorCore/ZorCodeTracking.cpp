#include "ZorCodeTracking.h"

#include "ZorConfigManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QStringList>

namespace {

const QString kGroup = QStringLiteral("tracking");
const QString kLogFileKey = QStringLiteral("log_file");

// Serialises the appends of all threads, so lines never interleave.
QMutex s_writeMutex;

// One entry is one line with tab-separated fields: tabs, line breaks and the backslash
// itself are escaped so that no field can split a line or a column.
QString EscapeField(const QString& field)
{
    QString escaped;
    escaped.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

void ZorCodeTracking::Info(const QString& code, const QString& key, const QString& message,
                           int value, const QString& extra, const QString& location)
{
    const QStringList fields{
        QDateTime::currentDateTime().toString(Qt::ISODateWithMs),
        code,
        key,
        message,
        QString::number(value),
        extra,
        location,
    };
    QStringList escaped;
    for (const QString& field : fields)
        escaped.append(EscapeField(field));
    const QByteArray line = escaped.join(QLatin1Char('\t')).toUtf8() + '\n';

    const QString path = GetLogFilePath();
    QMutexLocker locker(&s_writeMutex);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    // Tracking must never disturb the caller: an entry that cannot be written is dropped.
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line);
}

QString ZorCodeTracking::GetLogFilePath()
{
    const QString path = ZorConfigManager::Instance()->GetValue(kGroup, kLogFileKey).toString();
    if (!path.isEmpty())
        return path;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/code-tracking.log");
}

void ZorCodeTracking::SetLogFilePath(const QString& path)
{
    ZorConfigManager::Instance()->SetValue(kGroup, kLogFileKey, path);
}
