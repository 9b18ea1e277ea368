#include "ConsultDescEntity.h"

#include "AesModule.h"
#include "DpiTool.h"
#include "ZorGlobalData.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QRect>
#include <QScreen>
#include <QSysInfo>

#include <limits>

namespace {

// The record's codes are 32-bit signed on every platform (long is 64 bits wide on some):
// a value that does not fit is no valid code and goes out as 0, never wrapped into another.
qint32 ToCode(long code)
{
    if (code < long(std::numeric_limits<qint32>::min()) ||
        code > long(std::numeric_limits<qint32>::max()))
        return 0;
    return static_cast<qint32>(code);
}

// Shared with the advisory service, which decrypts userId with it.
const QByteArray kUserIdKey = QByteArrayLiteral("quorlendtavishmo");

// The advisory service tells client platforms apart by this number.
constexpr int kPlatformDesktop = 2;

} // namespace

ConsultDescEntity::ConsultDescEntity(QObject* parent) : PalJsonParserBase(parent)
{}

long ConsultDescEntity::GetStartBusinessCode1() const
{
    return m_startBusinessCode1;
}

void ConsultDescEntity::SetStartBusinessCode1(long code)
{
    m_startBusinessCode1 = ToCode(code);
}

QString ConsultDescEntity::GetStartBusinessName1() const
{
    return m_startBusinessName1;
}

void ConsultDescEntity::SetStartBusinessName1(const QString& name)
{
    m_startBusinessName1 = name;
}

long ConsultDescEntity::GetStartBusinessCode2() const
{
    return m_startBusinessCode2;
}

void ConsultDescEntity::SetStartBusinessCode2(long code)
{
    m_startBusinessCode2 = ToCode(code);
}

QString ConsultDescEntity::GetStartBusinessName2() const
{
    return m_startBusinessName2;
}

void ConsultDescEntity::SetStartBusinessName2(const QString& name)
{
    m_startBusinessName2 = name;
}

QString ConsultDescEntity::GetVenderId() const
{
    return QString::number(ZorGlobalData::Instance()->GetVenderId());
}

// The computed properties accept writes through the property system and drop them, so that
// a generic mapper can set every key yet the record always reports the host's current state.
void ConsultDescEntity::SetVenderId(const QString&)
{}

QString ConsultDescEntity::GetUserId() const
{
    QByteArray encrypted;
    AesModule::encrpty_ecb_Java_base64(encrypted, ZorGlobalData::Instance()->GetPin().toUtf8(),
                                       kUserIdKey);
    return QString::fromUtf8(encrypted);
}

void ConsultDescEntity::SetUserId(const QString&)
{}

QString ConsultDescEntity::GetTelphone() const
{
    return m_telphone;
}

void ConsultDescEntity::SetTelphone(const QString& telphone)
{
    m_telphone = telphone;
}

QString ConsultDescEntity::GetQuestionDesc() const
{
    return m_questionDesc;
}

void ConsultDescEntity::SetQuestionDesc(const QString& desc)
{
    m_questionDesc = desc;
}

QByteArray ConsultDescEntity::GetFiles() const
{
    // Placeholder for the key; the images themselves are written by ToSpecial.
    return m_files;
}

void ConsultDescEntity::SetFiles(const QByteArray&)
{}

QString ConsultDescEntity::GetVersion() const
{
    return QString::fromUtf8(ZorGlobalData::Instance()->GetAppVersion());
}

void ConsultDescEntity::SetVersion(const QString&)
{}

int ConsultDescEntity::GetPlatform() const
{
    return kPlatformDesktop;
}

void ConsultDescEntity::SetPlatform(int)
{}

QString ConsultDescEntity::GetSystemName() const
{
    return QSysInfo::productType();
}

void ConsultDescEntity::SetSystemName(const QString&)
{}

QString ConsultDescEntity::GetSystemVersion() const
{
    return QSysInfo::productVersion();
}

void ConsultDescEntity::SetSystemVersion(const QString&)
{}

QString ConsultDescEntity::GetIp() const
{
    return ZorGlobalData::Instance()->GetClientIp();
}

void ConsultDescEntity::SetIp(const QString&)
{}

QString ConsultDescEntity::GetResolution() const
{
    // Without a screen (a headless session) the area is reported as 0*0 instead of failing.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    return QStringLiteral("%1*%2 %3%")
        .arg(area.width())
        .arg(area.height())
        .arg(DpiTool::ScaleDefault(100));
}

void ConsultDescEntity::SetResolution(const QString&)
{}

QString ConsultDescEntity::GetSourceType() const
{
    return m_sourceType;
}

void ConsultDescEntity::SetSourceType(const QString& sourceType)
{
    m_sourceType = sourceType;
}

QString ConsultDescEntity::GetBrowserVersion() const
{
    return m_browserVersion;
}

void ConsultDescEntity::SetBrowserVersion(const QString& browserVersion)
{
    m_browserVersion = browserVersion;
}

QString ConsultDescEntity::GetDeviceId() const
{
    return ZorGlobalData::Instance()->GetUUID();
}

void ConsultDescEntity::SetFileList(const QList<QSharedPointer<ConsultImageEntity>>& list)
{
    m_fileList = list;
}

QList<QSharedPointer<ConsultImageEntity>> ConsultDescEntity::GetFileList() const
{
    return m_fileList;
}

bool ConsultDescEntity::ParseSpecial(const QString& key, const QJsonValue& value)
{
    if (key != QLatin1String("files"))
        return false;
    m_fileList.clear();
    const QJsonArray array = value.toArray();
    for (const QJsonValue& element : array) {
        auto image = QSharedPointer<ConsultImageEntity>::create();
        image->Parse(element.toObject());
        m_fileList.append(image);
    }
    return true;
}

bool ConsultDescEntity::ToSpecial(const QString& key, QJsonValue& out) const
{
    if (key != QLatin1String("files"))
        return false;
    QJsonArray array;
    for (const auto& image : m_fileList) {
        if (image)
            array.append(image->ToJsonObject());
    }
    out = array;
    return true;
}
