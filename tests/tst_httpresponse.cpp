// Reading the gateway's reply envelope into a response.

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

} // namespace

class TestHttpResponse : public QObject
{
    Q_OBJECT

private slots:
    void envelope_data();
    void envelope();
};

void TestHttpResponse::envelope_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("success");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("descPattern");
    QTest::addColumn<QJsonValue>("data");

    const QJsonValue none = QJsonValue::Null;
    const int bad = HttpErrorCode::BadReply;
    QTest::newRow("success with data")
        << QByteArray(R"({"code": 0, "msg": "", "data": [{"x": 1}]})") << true << 0 << "^$"
        << QJsonValue(QJsonArray{QJsonObject{{"x", 1}}});
    QTest::newRow("success without data")
        << QByteArray(R"({"code": 0})") << true << 0 << "^$" << QJsonValue(QJsonValue::Undefined);

    QTest::newRow("refusal with a message")
        << QByteArray(R"({"code": 4001, "msg": "param is missing", "data": null})") << false << 4001
        << "^The advisory service refused the request: param is missing \\(code 4001\\)$" << none;
    QTest::newRow("refusal message with a placeholder")
        << QByteArray(R"({"code": 7, "msg": "bad %1 and %2"})") << false << 7
        << "^The advisory service refused the request: bad %1 and %2 \\(code 7\\)$" << none;
    QTest::newRow("refusal without a message")
        << QByteArray(R"({"code": -9, "data": [1]})") << false << -9
        << "^The advisory service refused the request \\(code -9\\)\\.$" << none;

    QTest::newRow("not JSON") << QByteArray("<html>502</html>") << false << bad
                              << "could not be read" << none;
    QTest::newRow("array") << QByteArray(R"([{"code": 0}])") << false << bad << "unexpected form"
                           << none;
    // A code that is not a whole int must never read as the success code 0.
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

    // Only a failed connection is worth another attempt, and a reply after it starts afresh.
    Response response;
    response.SetNetworkError(HttpErrorCode::ConnectionFailed, QStringLiteral("stale"));
    QVERIFY(response.ShouldRetry());
    response.SetData(body);
    QCOMPARE(response.IsSuccess(), success);
    QCOMPARE(response.GetErrorCode(), code);
    QVERIFY2(response.GetErrorDesc().contains(QRegularExpression(descPattern)),
             qPrintable(response.GetErrorDesc()));
    QCOMPARE(response.parseCount, success ? 1 : 0);
    QCOMPARE(response.data, data);
    QVERIFY(!response.ShouldRetry());
}

QTEST_APPLESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
