// Reading the gateway's reply envelope into a response, and what a gateway API request
// offers the gateway by default.

#include "IHttpRequestDsm.h"
#include "IHttpResponseDsm.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace {

class Response : public IHttpResponseDsm
{
    Q_OBJECT
public:
    void ParseData(const QJsonValue& data) override
    {
        ++parseCount;
        this->data = data;
    }

    QJsonValue data = QJsonValue::Null;
    int parseCount = 0;
};

class Request : public IHttpRequestDsm
{
    Q_OBJECT
public:
    QString GetApiName() const override { return QStringLiteral("svc.Api.call"); }
    QByteArray GetBusinessParam() const override { return QByteArrayLiteral(R"({"a":1})"); }
};

} // namespace

class TestHttpResponse : public QObject
{
    Q_OBJECT

private slots:
    void envelope_data();
    void envelope();
    void replyAfterFailureStartsAfresh();
    void networkErrors_data();
    void networkErrors();
    void requestDefaults();
};

void TestHttpResponse::envelope_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("success");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("descPattern");
    QTest::addColumn<QJsonValue>("data");

    const QJsonValue none = QJsonValue::Null;
    QTest::newRow("success with data")
        << QByteArray(R"({"code": 0, "msg": "", "data": [{"x": 1}]})") << true << 0 << "^$"
        << QJsonValue(QJsonArray{QJsonObject{{"x", 1}}});
    QTest::newRow("success with a text")
        << QByteArray(R"({"code": 0, "data": "FB-1"})") << true << 0 << "^$" << QJsonValue("FB-1");
    QTest::newRow("success without data")
        << QByteArray(R"({"code": 0})") << true << 0 << "^$" << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("success code written as 0.0")
        << QByteArray(R"({"code": 0.0, "data": 5})") << true << 0 << "^$" << QJsonValue(5);

    QTest::newRow("refusal with a message")
        << QByteArray(R"({"code": 4001, "msg": "param is missing", "data": null})") << false << 4001
        << "^The advisory service refused the request: param is missing \\(code 4001\\)$" << none;
    QTest::newRow("refusal message with a placeholder")
        << QByteArray(R"({"code": 7, "msg": "bad %1 and %2"})") << false << 7
        << "^The advisory service refused the request: bad %1 and %2 \\(code 7\\)$" << none;
    QTest::newRow("refusal without a message")
        << QByteArray(R"({"code": -9, "data": [1]})") << false << -9
        << "^The advisory service refused the request \\(code -9\\)\\.$" << none;

    const int bad = HttpErrorCode::BadReply;
    QTest::newRow("empty body") << QByteArray() << false << bad << "could not be read" << none;
    QTest::newRow("not JSON") << QByteArray("<html>502</html>") << false << bad
                              << "could not be read" << none;
    QTest::newRow("cut off") << QByteArray(R"({"code": 0, "data": [)") << false << bad
                             << "could not be read" << none;
    QTest::newRow("array") << QByteArray(R"([{"code": 0}])") << false << bad << "unexpected form"
                           << none;
    QTest::newRow("no code") << QByteArray(R"({"msg": "", "data": 1})") << false << bad
                             << "without a result code" << none;
    QTest::newRow("code as text") << QByteArray(R"({"code": "0", "data": 1})") << false << bad
                                  << "without a result code" << none;
    QTest::newRow("code with a fraction")
        << QByteArray(R"({"code": 0.5})") << false << bad << "without a result code" << none;
    QTest::newRow("code beyond int")
        << QByteArray(R"({"code": 4294967296})") << false << bad << "without a result code" << none;
}

void TestHttpResponse::envelope()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, success);
    QFETCH(int, code);
    QFETCH(QString, descPattern);
    QFETCH(QJsonValue, data);

    Response response;
    response.SetData(body);
    QCOMPARE(response.IsSuccess(), success);
    QCOMPARE(response.GetErrorCode(), code);
    QVERIFY2(response.GetErrorDesc().contains(QRegularExpression(descPattern)),
             qPrintable(response.GetErrorDesc()));
    QCOMPARE(response.parseCount, success ? 1 : 0);
    QCOMPARE(response.data, data);
    QVERIFY(!response.ShouldRetry());
}

void TestHttpResponse::replyAfterFailureStartsAfresh()
{
    Response response;
    response.SetNetworkError(HttpErrorCode::Timeout, QStringLiteral("late"));
    response.SetData(R"({"code": 0, "data": 1})");
    QVERIFY(response.IsSuccess());
    QCOMPARE(response.GetErrorCode(), 0);
    QVERIFY(response.GetErrorDesc().isEmpty());

    response.SetData(R"({"code": 3, "msg": "no"})");
    QVERIFY(!response.IsSuccess());
    QCOMPARE(response.GetErrorCode(), 3);
}

void TestHttpResponse::networkErrors_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("retry");

    QTest::newRow("connection failed") << int(HttpErrorCode::ConnectionFailed) << true;
    QTest::newRow("timeout") << int(HttpErrorCode::Timeout) << false;
    QTest::newRow("HTTP status") << int(HttpErrorCode::HttpStatus) << false;
    QTest::newRow("cancelled") << int(HttpErrorCode::Cancelled) << false;
}

void TestHttpResponse::networkErrors()
{
    QFETCH(int, code);
    QFETCH(bool, retry);

    Response response;
    response.SetNetworkError(code, QStringLiteral("what happened"));
    QVERIFY(!response.IsSuccess());
    QCOMPARE(response.GetErrorCode(), code);
    QCOMPARE(response.GetErrorDesc(), QStringLiteral("what happened"));
    QCOMPARE(response.ShouldRetry(), retry);
    QCOMPARE(response.parseCount, 0);

    response.DoReset();
    QVERIFY(!response.IsSuccess());
    QVERIFY(response.GetErrorDesc().isEmpty());
    QVERIFY(!response.ShouldRetry());
}

void TestHttpResponse::requestDefaults()
{
    Request request;
    QVERIFY(request.GetApiUrl().isEmpty());
    QCOMPARE(request.GetMethodName(), QStringLiteral("POST"));
    QCOMPARE(request.GetApiBody(), request.GetBusinessParam());
    QVERIFY(!request.IsDegradeApi());
    QVERIFY(request.GetIdentity().isEmpty());
    request.SetIdentity(QStringLiteral("5b0c5a3e-0000-4000-8000-000000000001"));
    QCOMPARE(request.GetIdentity(), QStringLiteral("5b0c5a3e-0000-4000-8000-000000000001"));
    QVERIFY(request.GetLogInfo().contains(QStringLiteral("svc.Api.call")));
    QVERIFY(request.GetLogInfo().contains(request.GetIdentity()));
}

QTEST_APPLESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
