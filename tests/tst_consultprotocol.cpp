// The advisory service's two calls as the module writes and reads them: the category tree
// of a reply, the query's parameters, and the feedback record with its computed fields.

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

class TestConsultProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void categoryReply_data();
    void categoryReply();
    void params();
    void businessCodes_data();
    void businessCodes();
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

void TestConsultProtocol::params()
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
    const QJsonObject param = QJsonDocument::fromJson(text)[QLatin1String("param")].toObject();
    QCOMPARE(param.value(QStringLiteral("questionDesc")), QJsonValue("\"quoted\"\nsecond line"));
    QCOMPARE(
        param.value(QStringLiteral("files")),
        QJsonValue(QJsonArray{QJsonObject{{"url", image->url}, {"fileName", image->fileName}}}));

    // Computed when the gateway builds the request, not when the record was attached; the
    // category query's parameters are indented text. A vender id beyond 32 bits stays whole.
    ZorGlobalData::Instance()->SetVenderId(123456789012345);
    QCOMPARE(QJsonDocument::fromJson(
                 request.GetBusinessParam())[QLatin1String("param")][QLatin1String("venderId")],
             QJsonValue("123456789012345"));
    QCOMPARE(ConsultBusinessTypeRequest().GetBusinessParam(),
             QByteArray("{\n    \"venderId\": \"123456789012345\"\n}\n"));
}

void TestConsultProtocol::businessCodes_data()
{
    // A category code as the picker holds it, and what the record sends for it.
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("sent");

    QTest::newRow("plain") << "1908" << 1908;
    QTest::newRow("largest 32-bit") << "2147483647" << 2147483647;
    QTest::newRow("smallest 32-bit") << "-2147483648" << int(-2147483647 - 1);
    QTest::newRow("one beyond 32 bits") << "2147483648" << 0;
    QTest::newRow("would wrap to a negative code") << "2147483653" << 0;
    QTest::newRow("one below 32 bits") << "-2147483649" << 0;
    QTest::newRow("beyond 64 bits") << "99999999999999999999" << 0;
    QTest::newRow("no number") << "19a" << 0;
}

void TestConsultProtocol::businessCodes()
{
    QFETCH(QString, code);
    QFETCH(int, sent);

    // Set as the dialog sets it, and written by the mapper from a JSON number.
    ConsultDescEntity desc;
    desc.SetStartBusinessCode1(code.toLong(nullptr, 10));
    bool isNumber = false;
    code.toDouble(&isNumber);
    // Whether the mapper takes a value beyond 32 bits depends on the width of long; either
    // way nothing but the code itself or 0 may reach the record.
    if (isNumber)
        desc.Parse(QJsonDocument::fromJson("{\"startBusinessCode2\": " + code.toLatin1() + "}"));
    else
        desc.SetStartBusinessCode2(code.toLong(nullptr, 10));
    const QJsonObject record = desc.ToJsonObject();
    QCOMPARE(record.value(QStringLiteral("startBusinessCode1")), QJsonValue(sent));
    QCOMPARE(record.value(QStringLiteral("startBusinessCode2")), QJsonValue(sent));
}

void TestConsultProtocol::computedFields_data()
{
    // The row names the key. The record ignores the forged value written through the property
    // system; it gives the "before" value in the session of init(), the "after" one in the
    // session and scale computedFields() switches to.
    QTest::addColumn<QVariant>("forged");
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<QVariant>("after");

    // The primary screen's available area, and the scale in percent.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(!area.isEmpty());
    const QString resolution = QStringLiteral("%1*%2 %3%").arg(area.width()).arg(area.height());

    const auto row = [](const char* key, const QVariant& forged, const QVariant& before,
                        const QVariant& after) { QTest::newRow(key) << forged << before << after; };
    row("venderId", "999", "10086", "123456789012345");
    // The pin as UTF-8, encrypted; both expectations come from
    // printf '<pin>' | openssl enc -aes-128-ecb -K <hex of the key> | base64
    // with the 18-byte pin of six Chinese characters taking two blocks.
    row("userId", "plain-pin",
        "PtMYNKkIPAlxf2tC9+bx2g==", "4ez9GT1Y61ItHWzrU1DJRZtgML80Kd2gVyC/sJJlQC4=");
    row("version", "0.0.1", "5.3.0.1", "6.0");
    row("ip", "1.1.1.1", "192.168.7.21", "10.0.0.9");
    row("deviceId", "forged", "a3f1c2d4-0000-device", "other-device");
    row("resolution", "1*1 1%", resolution.arg(100), resolution.arg(150));
    row("platform", 7, 2, 2); // desktop
}

void TestConsultProtocol::computedFields()
{
    QFETCH(QVariant, forged);
    QFETCH(QVariant, before);
    QFETCH(QVariant, after);

    const QString key = QString::fromLatin1(QTest::currentDataTag());
    ConsultDescEntity desc;
    QCOMPARE(desc.ToJsonObject().value(key), QJsonValue::fromVariant(before));
    desc.setProperty(qPrintable(key), forged);
    QCOMPARE(desc.ToJsonObject().value(key), QJsonValue::fromVariant(before));
    QVERIFY(desc.dynamicPropertyNames().isEmpty());

    // The record reports the host's current state whenever it is read.
    setSession(123456789012345, QStringLiteral("商户密码测试"), "6.0", QStringLiteral("10.0.0.9"),
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
