// The advisory service's two calls as the module writes and reads them: the category tree
// of a reply, the query's parameters, and the feedback record with its computed fields.

#include "AesModule.h"
#include "ConsultBusinessTypeRequest.h"
#include "ConsultBusinessTypeResponse.h"
#include "ConsultDescEntity.h"
#include "ConsultImageEntity.h"
#include "ConsultSubmitDescRequest.h"
#include "ConsultSubmitDescResponse.h"
#include "ConsultTestUtil.h"
#include "DpiTool.h"
#include "TestMessageHandler.h"
#include "ZorGlobalData.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QTest>

using namespace ConsultTestUtil;

namespace {

// The record's "param" object as the gateway would send it.
QJsonObject sentRecord(const ConsultSubmitDescRequest& request)
{
    return QJsonDocument::fromJson(request.GetBusinessParam())
        .object()
        .value(QStringLiteral("param"))
        .toObject();
}

} // namespace

class TestConsultProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void categoryReply_data();
    void categoryReply();
    void categoryParam_data();
    void categoryParam();
    void submitParam();
    void computedFields_data();
    void computedFields();
    void feedbackId_data();
    void feedbackId();
};

void TestConsultProtocol::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(QGuiApplication::primaryScreen());
}

void TestConsultProtocol::init()
{
    DpiTool::SetScaleFactor(1.0);
    setSession(10086, QStringLiteral("merchant_pin_01"), "5.3.0.1", QStringLiteral("192.168.7.21"),
               QStringLiteral("a3f1c2d4-0000-device"));
}

void TestConsultProtocol::cleanup()
{
    DpiTool::SetScaleFactor(0);
}

void TestConsultProtocol::categoryReply_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected");

    QTest::newRow("data not an array")
        << QByteArray(R"({"businessTypeCode":"1","businessTypeName":"a"})") << QString();
    QTest::newRow("order kept at every level, numeric codes as text")
        << QByteArray(R"([{"businessTypeCode":"30","businessTypeName":"c","children":[
                {"businessTypeCode":32,"businessTypeName":"y","children":[]},
                {"businessTypeCode":31,"businessTypeName":"x","children":[]}]},
            {"businessTypeCode":"10","businessTypeName":"a","children":[]},
            {"businessTypeCode":"20","businessTypeName":"b","children":[
                {"businessTypeCode":"29","businessTypeName":"z"},
                {"businessTypeCode":"21","businessTypeName":"w"}]}])")
        << QStringLiteral("30:c(32:y,31:x),10:a,20:b(29:z,21:w)");
    QTest::newRow("non-object elements keep their place")
        << QByteArray(R"([7,null,{"businessTypeCode":"1","businessTypeName":"a","children":[
                true,{"businessTypeCode":"2","businessTypeName":"b"}]}])")
        << QStringLiteral(":,:,1:a(:,2:b)");
    // A text must not land in the record's placeholder for the list ("!" would show it).
    QTest::newRow("children not an array")
        << QByteArray(R"([{"businessTypeCode":"1","businessTypeName":"a","children":"[2]"}])")
        << QStringLiteral("1:a");
}

void TestConsultProtocol::categoryReply()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);

    ConsultBusinessTypeResponse response;
    response.SetData(successEnvelope(data));
    QVERIFY(response.IsSuccess());
    QCOMPARE(describeCategories(response.GetBusinessTypeList()), expected);
}

void TestConsultProtocol::categoryParam_data()
{
    QTest::addColumn<qint64>("venderId");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("typical") << qint64(10086) << QByteArray("{\n    \"venderId\": \"10086\"\n}\n");
    QTest::newRow("beyond 32 bits")
        << qint64(123456789012345) << QByteArray("{\n    \"venderId\": \"123456789012345\"\n}\n");
}

void TestConsultProtocol::categoryParam()
{
    QFETCH(qint64, venderId);
    QFETCH(QByteArray, expected);

    ZorGlobalData::Instance()->SetVenderId(venderId);
    QCOMPARE(ConsultBusinessTypeRequest().GetBusinessParam(), expected);
}

void TestConsultProtocol::submitParam()
{
    // Without a record the service gets an empty one.
    ConsultSubmitDescRequest request;
    QCOMPARE(request.GetBusinessParam(), QByteArray(R"({"param":{}})"));

    auto image = QSharedPointer<ConsultImageEntity>::create();
    image->url = QStringLiteral("http://127.0.0.1/images/a.png");
    image->fileName = QStringLiteral("UploadImage-a.jpg");
    auto desc = QSharedPointer<ConsultDescEntity>::create();
    desc->SetQuestionDesc(QStringLiteral("\"quoted\"\nsecond line"));
    desc->SetFileList({nullptr, image, nullptr});
    request.SetDescEntity(desc);

    // A nested object, not a string holding JSON; null image entries are left out.
    const QByteArray text = request.GetBusinessParam();
    QVERIFY2(text.startsWith("{\"param\":{"), text.constData());
    QCOMPARE(QJsonDocument::fromJson(text).object().keys(), QStringList{QStringLiteral("param")});
    const QJsonObject param = sentRecord(request);
    QCOMPARE(param.value(QStringLiteral("questionDesc")), QJsonValue("\"quoted\"\nsecond line"));
    QCOMPARE(
        param.value(QStringLiteral("files")),
        QJsonValue(QJsonArray{QJsonObject{{"url", image->url}, {"fileName", image->fileName}}}));
    QCOMPARE(param.value(QStringLiteral("venderId")), QJsonValue("10086"));

    // Computed when the gateway builds the request, not when the record was attached.
    ZorGlobalData::Instance()->SetVenderId(777);
    QCOMPARE(sentRecord(request).value(QStringLiteral("venderId")), QJsonValue("777"));
}

void TestConsultProtocol::computedFields_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("forged"); // written through the property system, and ignored
    QTest::addColumn<QVariant>("before"); // in the session of init()
    QTest::addColumn<QVariant>("after");  // in the session and scale computedFields() switches to

    QByteArray otherUserId;
    QVERIFY(AesModule::encrpty_ecb_Java_base64(otherUserId, QStringLiteral("商户-Ünï-7").toUtf8(),
                                               userIdKey()));
    // The primary screen's available area, and the scale in percent.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(!area.isEmpty());
    const QString resolution = QStringLiteral("%1*%2 %3%").arg(area.width()).arg(area.height());

    QTest::newRow("venderId") << "venderId" << QVariant("999") << QVariant("10086")
                              << QVariant("123456789012345");
    QTest::newRow("userId: the pin, encrypted")
        << "userId" << QVariant("plain-pin") << QVariant("PtMYNKkIPAlxf2tC9+bx2g==")
        << QVariant(QString::fromLatin1(otherUserId));
    QTest::newRow("version") << "version" << QVariant("0.0.1") << QVariant("5.3.0.1")
                             << QVariant("6.0");
    QTest::newRow("ip") << "ip" << QVariant("1.1.1.1") << QVariant("192.168.7.21")
                        << QVariant("10.0.0.9");
    QTest::newRow("deviceId") << "deviceId" << QVariant("forged")
                              << QVariant("a3f1c2d4-0000-device") << QVariant("other-device");
    QTest::newRow("resolution") << "resolution" << QVariant("1*1 1%")
                                << QVariant(resolution.arg(100)) << QVariant(resolution.arg(150));
    QTest::newRow("platform: desktop") << "platform" << QVariant(7) << QVariant(2) << QVariant(2);
}

void TestConsultProtocol::computedFields()
{
    QFETCH(QString, key);
    QFETCH(QVariant, forged);
    QFETCH(QVariant, before);
    QFETCH(QVariant, after);

    ConsultDescEntity desc;
    QCOMPARE(desc.ToJsonObject().value(key), QJsonValue::fromVariant(before));
    desc.setProperty(qPrintable(key), forged);
    QCOMPARE(desc.ToJsonObject().value(key), QJsonValue::fromVariant(before));
    QVERIFY(desc.dynamicPropertyNames().isEmpty());

    // The record reports the host's current state whenever it is read.
    setSession(123456789012345, QStringLiteral("商户-Ünï-7"), "6.0", QStringLiteral("10.0.0.9"),
               QStringLiteral("other-device"));
    DpiTool::SetScaleFactor(1.5);
    QCOMPARE(desc.ToJsonObject().value(key), QJsonValue::fromVariant(after));
}

void TestConsultProtocol::feedbackId_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("expected");

    QTest::newRow("string") << successEnvelope(R"("FB-20240601-7")") << true << "FB-20240601-7";
    QTest::newRow("number") << successEnvelope("42") << true << "";
    QTest::newRow("failure") << QByteArray(R"({"code":4001,"msg":"param missing","data":"42"})")
                             << false << "";
}

void TestConsultProtocol::feedbackId()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, success);
    QFETCH(QString, expected);

    ConsultSubmitDescResponse response;
    response.SetData(body);
    QCOMPARE(response.IsSuccess(), success);
    QCOMPARE(response.GetFeedbackId(), expected);
}

QTEST_MAIN(TestConsultProtocol)
#include "tst_consultprotocol.moc"
