// The advisory service's two calls as the module writes and reads them: the category tree
// of a reply, the query's parameters, and the feedback record with its computed fields.

#include "AesModule.h"
#include "ConsultBusinessTypeEntity.h"
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
#include <QMetaProperty>
#include <QRegularExpression>
#include <QScreen>
#include <QSysInfo>
#include <QTest>

using namespace ConsultTestUtil;

namespace {

using EntityList = QList<QSharedPointer<ConsultBusinessTypeEntity>>;
using ImageList = QList<QSharedPointer<ConsultImageEntity>>;

const QStringList kRecordKeys = recordKeys();

QSharedPointer<ConsultImageEntity> image(const QString& url, const QString& fileName)
{
    auto entity = QSharedPointer<ConsultImageEntity>::create();
    entity->url = url;
    entity->fileName = fileName;
    return entity;
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
    void categoryDataNotAnArrayKeepsList();
    void setChildrenReplaces();
    void categoryParam_data();
    void categoryParam();

    void submitParamIsCompactObject();
    void recordKeysInDeclarationOrder();
    void storedValues();
    void computedValues_data();
    void computedValues();
    void ignoredWrites_data();
    void ignoredWrites();
    void deviceIdIsReadOnly();
    void files_data();
    void files();
    void filesParsed();
    void missingPartsAreTolerated();
    void resolution_data();
    void resolution();
    void userId_data();
    void userId();
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

    QTest::newRow("object") << QByteArray(R"({"businessTypeCode":"1","businessTypeName":"a"})")
                            << QString();
    QTest::newRow("string") << QByteArray(R"("1907")") << QString();
    QTest::newRow("null") << QByteArray("null") << QString();
    QTest::newRow("number") << QByteArray("1907") << QString();
    QTest::newRow("empty array") << QByteArray("[]") << QString();
    QTest::newRow("order kept at every level")
        << QByteArray(R"([{"businessTypeCode":"30","businessTypeName":"c","children":[
                {"businessTypeCode":"32","businessTypeName":"y","children":[]},
                {"businessTypeCode":"31","businessTypeName":"x","children":[]}]},
            {"businessTypeCode":"10","businessTypeName":"a","children":[]},
            {"businessTypeCode":"20","businessTypeName":"b","children":[
                {"businessTypeCode":"29","businessTypeName":"z"},
                {"businessTypeCode":"21","businessTypeName":"w"}]}])")
        << QStringLiteral("30:c(32:y,31:x),10:a,20:b(29:z,21:w)");
    QTest::newRow("deeper than the dialog uses")
        << QByteArray(R"([{"businessTypeCode":"1","businessTypeName":"a","children":[
                {"businessTypeCode":"11","businessTypeName":"b","children":[
                    {"businessTypeCode":"111","businessTypeName":"c","children":[
                        {"businessTypeCode":"1111","businessTypeName":"d"}]}]}]}])")
        << QStringLiteral("1:a(11:b(111:c(1111:d)))");
    QTest::newRow("non-object elements keep their place")
        << QByteArray(R"([7,"x",null,[],{"businessTypeCode":"1","businessTypeName":"a"}])")
        << QStringLiteral(":,:,:,:,1:a");
    QTest::newRow("non-object child")
        << QByteArray(
               R"([{"businessTypeCode":"1","businessTypeName":"a","children":[true,{"businessTypeCode":"2","businessTypeName":"b"}]}])")
        << QStringLiteral("1:a(:,2:b)");
    QTest::newRow("children missing")
        << QByteArray(R"([{"businessTypeCode":"1","businessTypeName":"a"}])")
        << QStringLiteral("1:a");
    QTest::newRow("children an object")
        << QByteArray(
               R"([{"businessTypeCode":"1","businessTypeName":"a","children":{"businessTypeCode":"2"}}])")
        << QStringLiteral("1:a");
    QTest::newRow("children a string")
        << QByteArray(R"([{"businessTypeCode":"1","businessTypeName":"a","children":"[2]"}])")
        << QStringLiteral("1:a");
    QTest::newRow("numeric codes")
        << QByteArray(R"([{"businessTypeCode":1907,"businessTypeName":"n","children":[
                {"businessTypeCode":1908,"businessTypeName":"m"}]}])")
        << QStringLiteral("1907:n(1908:m)");
    QTest::newRow("non-ASCII names")
        << QByteArray(R"([{"businessTypeCode":"5","businessTypeName":"登录问题 – Ünï"}])")
        << QStringLiteral("5:登录问题 – Ünï");
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

void TestConsultProtocol::categoryDataNotAnArrayKeepsList()
{
    ConsultBusinessTypeResponse response;
    response.ParseData(QJsonDocument::fromJson(R"([{"businessTypeCode":"1"}])").array());
    QCOMPARE(describeCategories(response.GetBusinessTypeList()), QStringLiteral("1:"));

    response.ParseData(QJsonValue(QStringLiteral("x")));
    response.ParseData(QJsonValue(QJsonObject()));
    QCOMPARE(describeCategories(response.GetBusinessTypeList()), QStringLiteral("1:"));

    response.ParseData(QJsonArray());
    QCOMPARE(describeCategories(response.GetBusinessTypeList()), QString());
}

void TestConsultProtocol::setChildrenReplaces()
{
    auto parent = QSharedPointer<ConsultBusinessTypeEntity>::create();
    auto first = QSharedPointer<ConsultBusinessTypeEntity>::create();
    auto second = QSharedPointer<ConsultBusinessTypeEntity>::create();
    first->businessTypeCode = QStringLiteral("1");
    second->businessTypeCode = QStringLiteral("2");

    parent->SetChildren({second, first});
    QCOMPARE(describeCategories(parent->GetChildren()), QStringLiteral("2:,1:"));
    parent->SetChildren({first});
    QCOMPARE(describeCategories(parent->GetChildren()), QStringLiteral("1:"));
    // The entities are shared, not copied.
    QCOMPARE(parent->GetChildren().first().data(), first.data());
    parent->SetChildren(parent->GetChildren());
    QCOMPARE(describeCategories(parent->GetChildren()), QStringLiteral("1:"));
    parent->SetChildren({});
    QVERIFY(parent->GetChildren().isEmpty());
}

void TestConsultProtocol::categoryParam_data()
{
    QTest::addColumn<qint64>("venderId");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("zero") << qint64(0) << QByteArray("{\n    \"venderId\": \"0\"\n}\n");
    QTest::newRow("typical") << qint64(10086) << QByteArray("{\n    \"venderId\": \"10086\"\n}\n");
    QTest::newRow("negative") << qint64(-42) << QByteArray("{\n    \"venderId\": \"-42\"\n}\n");
    QTest::newRow("beyond 32 bits")
        << qint64(123456789012345) << QByteArray("{\n    \"venderId\": \"123456789012345\"\n}\n");
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min()
                              << QByteArray("{\n    \"venderId\": \"-9223372036854775808\"\n}\n");
}

void TestConsultProtocol::categoryParam()
{
    QFETCH(qint64, venderId);
    QFETCH(QByteArray, expected);

    ZorGlobalData::Instance()->SetVenderId(venderId);
    ConsultBusinessTypeRequest request;
    QCOMPARE(request.GetApiName(),
             QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType"));
    QCOMPARE(request.GetBusinessParam(), expected);
    QVERIFY(request.GetIdentity().isEmpty());
}

void TestConsultProtocol::submitParamIsCompactObject()
{
    auto desc = QSharedPointer<ConsultDescEntity>::create();
    desc->SetStartBusinessCode1(1907);
    desc->SetStartBusinessName1(QStringLiteral("client"));
    desc->SetTelphone(QStringLiteral("13800138000"));
    desc->SetQuestionDesc(QStringLiteral("cannot log in"));
    desc->SetFileList({image(QStringLiteral("http://127.0.0.1/images/a.jpg"),
                             QStringLiteral("UploadImage-a.jpg"))});

    ConsultSubmitDescRequest request;
    QCOMPARE(request.GetApiName(),
             QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory"));
    request.SetDescEntity(desc);
    QCOMPARE(request.GetDescEntity(), desc);

    const QByteArray text = request.GetBusinessParam();
    QVERIFY2(!text.contains('\n') && !text.contains(": "), text.constData());
    QVERIFY2(!text.contains("\\\""), text.constData());
    QVERIFY2(text.startsWith("{\"param\":{"), text.constData());
    QVERIFY2(text.contains("\"files\":[{"), text.constData());

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(document.object().keys(), QStringList{QStringLiteral("param")});
    const QJsonObject param = document.object().value(QStringLiteral("param")).toObject();
    QCOMPARE(param.value(QStringLiteral("telphone")).toString(), QStringLiteral("13800138000"));
    QCOMPARE(param.value(QStringLiteral("venderId")).toString(), QStringLiteral("10086"));

    // Computed when the gateway builds the request, not when the record was attached.
    ZorGlobalData::Instance()->SetVenderId(777);
    const QJsonObject later = QJsonDocument::fromJson(request.GetBusinessParam())
                                  .object()
                                  .value(QStringLiteral("param"))
                                  .toObject();
    QCOMPARE(later.value(QStringLiteral("venderId")).toString(), QStringLiteral("777"));
}

void TestConsultProtocol::recordKeysInDeclarationOrder()
{
    ConsultDescEntity desc;
    const QMetaObject* meta = desc.metaObject();
    QStringList declared;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        declared << QString::fromLatin1(meta->property(i).name());
    QCOMPARE(declared, kRecordKeys);

    QStringList sorted = kRecordKeys;
    sorted.sort();
    QCOMPARE(desc.ToJsonObject().keys(), sorted);
}

void TestConsultProtocol::storedValues()
{
    ConsultDescEntity desc;
    desc.SetStartBusinessCode1(1907);
    desc.SetStartBusinessName1(QStringLiteral("velorin client"));
    desc.SetStartBusinessCode2(-1914);
    desc.SetStartBusinessName2(QStringLiteral("other"));
    desc.SetTelphone(QStringLiteral("13800138000"));
    desc.SetQuestionDesc(QStringLiteral("描述 \"quoted\"\nsecond line"));
    desc.SetSourceType(QStringLiteral("0"));
    desc.SetBrowserVersion(QStringLiteral("Chrome/99"));

    const QJsonObject json = desc.ToJsonObject();
    QCOMPARE(json.value(QStringLiteral("startBusinessCode1")), QJsonValue(1907));
    QCOMPARE(json.value(QStringLiteral("startBusinessName1")), QJsonValue("velorin client"));
    QCOMPARE(json.value(QStringLiteral("startBusinessCode2")), QJsonValue(-1914));
    QCOMPARE(json.value(QStringLiteral("startBusinessName2")), QJsonValue("other"));
    QCOMPARE(json.value(QStringLiteral("telphone")), QJsonValue("13800138000"));
    QCOMPARE(json.value(QStringLiteral("questionDesc")).toString(),
             QStringLiteral("描述 \"quoted\"\nsecond line"));
    QCOMPARE(json.value(QStringLiteral("sourceType")), QJsonValue("0"));
    QCOMPARE(json.value(QStringLiteral("browserVersion")), QJsonValue("Chrome/99"));

    // The same values through the property system, as a generic mapper writes them.
    ConsultDescEntity copy;
    for (const QString& key : kRecordKeys)
        copy.setProperty(qPrintable(key), desc.property(qPrintable(key)));
    QCOMPARE(copy.ToJsonObject(), json);
}

void TestConsultProtocol::computedValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<QVariant>("after");

    QTest::newRow("venderId") << "venderId" << QVariant("10086") << QVariant("-5");
    QTest::newRow("userId") << "userId" << QVariant("PtMYNKkIPAlxf2tC9+bx2g==") << QVariant();
    QTest::newRow("version") << "version" << QVariant("5.3.0.1") << QVariant("6.0");
    QTest::newRow("platform") << "platform" << QVariant(2) << QVariant(2);
    QTest::newRow("systemName") << "systemName" << QVariant(QSysInfo::productType())
                                << QVariant(QSysInfo::productType());
    QTest::newRow("systemVersion") << "systemVersion" << QVariant(QSysInfo::productVersion())
                                   << QVariant(QSysInfo::productVersion());
    QTest::newRow("ip") << "ip" << QVariant("192.168.7.21") << QVariant("10.0.0.9");
    QTest::newRow("deviceId") << "deviceId" << QVariant("a3f1c2d4-0000-device")
                              << QVariant("other-device");
}

void TestConsultProtocol::computedValues()
{
    QFETCH(QString, key);
    QFETCH(QVariant, before);
    QFETCH(QVariant, after);

    ConsultDescEntity desc;
    QCOMPARE(desc.property(qPrintable(key)), before);
    QCOMPARE(desc.ToJsonObject().value(key), QJsonValue::fromVariant(before));

    setSession(-5, QStringLiteral("another_pin"), "6.0", QStringLiteral("10.0.0.9"),
               QStringLiteral("other-device"));
    const QVariant now = desc.property(qPrintable(key));
    if (after.isValid())
        QCOMPARE(now, after);
    else
        QVERIFY(now != before);
    QCOMPARE(desc.ToJsonObject().value(key), QJsonValue::fromVariant(now));
}

void TestConsultProtocol::ignoredWrites_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("written");

    QTest::newRow("venderId") << "venderId" << QVariant("999");
    QTest::newRow("userId") << "userId" << QVariant("plain-pin");
    QTest::newRow("files") << "files" << QVariant(QByteArray("[{\"url\":\"x\"}]"));
    QTest::newRow("version") << "version" << QVariant("0.0.1");
    QTest::newRow("platform") << "platform" << QVariant(7);
    QTest::newRow("systemName") << "systemName" << QVariant("someos");
    QTest::newRow("systemVersion") << "systemVersion" << QVariant("0.1");
    QTest::newRow("ip") << "ip" << QVariant("1.1.1.1");
    QTest::newRow("resolution") << "resolution" << QVariant("1*1 1%");
}

void TestConsultProtocol::ignoredWrites()
{
    QFETCH(QString, key);
    QFETCH(QVariant, written);

    ConsultDescEntity desc;
    desc.SetFileList({image(QStringLiteral("u"), QStringLiteral("f.jpg"))});
    const QVariant before = desc.property(qPrintable(key));
    const QJsonObject jsonBefore = desc.ToJsonObject();

    QVERIFY(desc.setProperty(qPrintable(key), written));
    QCOMPARE(desc.property(qPrintable(key)), before);
    QVERIFY(desc.property(qPrintable(key)) != written);
    QCOMPARE(desc.ToJsonObject().value(key), jsonBefore.value(key));
    QVERIFY(desc.dynamicPropertyNames().isEmpty());
}

void TestConsultProtocol::deviceIdIsReadOnly()
{
    ConsultDescEntity desc;
    QVERIFY(!desc.setProperty("deviceId", QStringLiteral("forged")));
    QCOMPARE(desc.GetDeviceId(), QStringLiteral("a3f1c2d4-0000-device"));
    QVERIFY(desc.dynamicPropertyNames().isEmpty());
    QCOMPARE(desc.ToJsonObject().value(QStringLiteral("deviceId")),
             QJsonValue("a3f1c2d4-0000-device"));
}

void TestConsultProtocol::files_data()
{
    QTest::addColumn<QStringList>("images"); // url, fileName, url, fileName, ...
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("none") << QStringList() << QByteArray("[]");
    QTest::newRow("one") << QStringList{"http://h/i/1.jpg", "UploadImage1.jpg"}
                         << QByteArray(
                                R"([{"url":"http://h/i/1.jpg","fileName":"UploadImage1.jpg"}])");
    QTest::newRow("order kept")
        << QStringList{"http://h/i/b.png", "b.jpg", "http://h/i/a.png", "a.jpg", "", ""}
        << QByteArray(R"([{"url":"http://h/i/b.png","fileName":"b.jpg"},
                          {"url":"http://h/i/a.png","fileName":"a.jpg"},
                          {"url":"","fileName":""}])");
}

void TestConsultProtocol::files()
{
    QFETCH(QStringList, images);
    QFETCH(QByteArray, expected);

    ImageList list;
    for (int i = 0; i + 1 < images.size(); i += 2)
        list << image(images.at(i), images.at(i + 1));

    auto desc = QSharedPointer<ConsultDescEntity>::create();
    desc->SetFileList(list);
    QCOMPARE(desc->GetFileList(), list);
    QVERIFY(desc->property("files").toByteArray().isEmpty());
    const QJsonArray expectedArray = QJsonDocument::fromJson(expected).array();
    QCOMPARE(expectedArray.size(), list.size());
    QCOMPARE(desc->ToJsonObject().value(QStringLiteral("files")), QJsonValue(expectedArray));

    ConsultSubmitDescRequest request;
    request.SetDescEntity(desc);
    const QByteArray compact = QJsonDocument(expectedArray).toJson(QJsonDocument::Compact);
    QVERIFY(request.GetBusinessParam().contains("\"files\":" + compact));
}

void TestConsultProtocol::filesParsed()
{
    ConsultDescEntity desc;
    desc.Parse(QJsonDocument::fromJson(R"({"telphone":"13800138000","files":[
        {"url":"u2","fileName":"f2"},7,{"url":"u1","fileName":"f1"}]})"));
    QCOMPARE(desc.GetTelphone(), QStringLiteral("13800138000"));
    const ImageList list = desc.GetFileList();
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.at(0)->url, QStringLiteral("u2"));
    QCOMPARE(list.at(1)->url, QString());
    QCOMPARE(list.at(2)->fileName, QStringLiteral("f1"));
    QVERIFY(desc.property("files").toByteArray().isEmpty());

    desc.Parse(QJsonDocument::fromJson(R"({"files":"not a list"})"));
    QVERIFY(desc.GetFileList().isEmpty());
}

void TestConsultProtocol::missingPartsAreTolerated()
{
    ConsultSubmitDescRequest request;
    QCOMPARE(request.GetBusinessParam(), QByteArray(R"({"param":{}})"));

    ConsultDescEntity desc;
    desc.SetFileList({nullptr, image(QStringLiteral("u"), QStringLiteral("f.jpg")), nullptr});
    QCOMPARE(desc.ToJsonObject().value(QStringLiteral("files")),
             QJsonValue(QJsonDocument::fromJson(R"([{"url":"u","fileName":"f.jpg"}])").array()));
}

void TestConsultProtocol::resolution_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<QString>("percent");

    QTest::newRow("100%") << 1.0 << "100";
    QTest::newRow("125%") << 1.25 << "125";
    QTest::newRow("150%") << 1.5 << "150";
    QTest::newRow("200%") << 2.0 << "200";
}

void TestConsultProtocol::resolution()
{
    QFETCH(double, factor);
    QFETCH(QString, percent);

    DpiTool::SetScaleFactor(factor);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(!area.isEmpty());
    const QString expected = QString::number(area.width()) + QLatin1Char('*') +
                             QString::number(area.height()) + QLatin1Char(' ') + percent +
                             QLatin1Char('%');

    ConsultDescEntity desc;
    QCOMPARE(desc.GetResolution(), expected);
    QCOMPARE(desc.ToJsonObject().value(QStringLiteral("resolution")).toString(), expected);
}

void TestConsultProtocol::userId_data()
{
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("known"); // the service's own result, where one is pinned

    QTest::newRow("known vector") << "merchant_pin_01"
                                  << "PtMYNKkIPAlxf2tC9+bx2g==";
    QTest::newRow("empty pin") << ""
                               << "";
    QTest::newRow("exactly one block") << "0123456789abcdef"
                                       << "";
    QTest::newRow("non-ASCII") << QStringLiteral("商户-Ünï-7") << "";
    QTest::newRow("several blocks") << QString(53, QLatin1Char('p')) << "";
}

void TestConsultProtocol::userId()
{
    QFETCH(QString, pin);
    QFETCH(QString, known);

    ZorGlobalData::Instance()->SetPin(pin);
    ConsultDescEntity desc;
    const QString userId = desc.GetUserId();
    if (!known.isEmpty())
        QCOMPARE(userId, known);

    // PKCS#7 always adds padding, so the cipher text is the next whole number of blocks.
    const int cipherBytes = (pin.toUtf8().size() / 16 + 1) * 16;
    QCOMPARE(userId.size(), (cipherBytes + 2) / 3 * 4);
    QVERIFY(!userId.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9+/=]"))));

    QByteArray plain;
    QVERIFY(AesModule::decrypt_ecb_Java_base64(plain, userId.toUtf8(), userIdKey()));
    QCOMPARE(plain, pin.toUtf8());
    QCOMPARE(desc.ToJsonObject().value(QStringLiteral("userId")).toString(), userId);
}

void TestConsultProtocol::feedbackId_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("expected");

    QTest::newRow("string") << successEnvelope(R"("FB-20240601-7")") << true << "FB-20240601-7";
    QTest::newRow("digits as string") << successEnvelope(R"("42")") << true << "42";
    QTest::newRow("number") << successEnvelope("42") << true << "";
    QTest::newRow("null") << successEnvelope("null") << true << "";
    QTest::newRow("object") << successEnvelope(R"({"id":"42"})") << true << "";
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
