// The JSON property mapper: which keys a record has, how each property type is read from
// and written to JSON, and how subclasses take over keys of their own.

#include "PalJsonParserBase.h"

#include <QJsonArray>
#include <QMetaProperty>
#include <QTest>

#include <cmath>

namespace {

// A record with one property of every supported type, a computed property whose write is
// ignored, a read-only one, and a list key ("items") that the record converts itself.
class Record : public PalJsonParserBase
{
    Q_OBJECT
    Q_PROPERTY(QString text MEMBER text)
    Q_PROPERTY(QByteArray bytes MEMBER bytes)
    Q_PROPERTY(bool flag MEMBER flag)
    Q_PROPERTY(int count MEMBER count)
    Q_PROPERTY(long code MEMBER code)
    Q_PROPERTY(qint64 big MEMBER big)
    Q_PROPERTY(double ratio MEMBER ratio)
    Q_PROPERTY(QString computed READ GetComputed WRITE SetComputed)
    Q_PROPERTY(QString fixed READ GetFixed)
    Q_PROPERTY(QByteArray items MEMBER items)
public:
    QString GetComputed() const { return QStringLiteral("computed from the host"); }
    void SetComputed(const QString&) {}
    QString GetFixed() const { return QStringLiteral("fixed"); }

    bool ParseSpecial(const QString& key, const QJsonValue& value) override
    {
        offered << key;
        if (key != QLatin1String("items") || !handleItems)
            return false;
        if (!value.isArray())
            specialErrors << QStringLiteral("items: not an array");
        itemList = value.toArray();
        return true;
    }
    bool ToSpecial(const QString& key, QJsonValue& out) const override
    {
        if (key != QLatin1String("items") || !handleItems)
            return false;
        out = itemList;
        return true;
    }
    bool JoinToJson(const QString& key) const override { return !hidden.contains(key); }
    QStringList GetParseErrorSpecial() const override { return specialErrors; }

    QString text = QStringLiteral("init");
    QByteArray bytes = "init";
    bool flag = false;
    int count = 7;
    long code = 7;
    qint64 big = 7;
    double ratio = 7.5;
    QByteArray items;

    bool handleItems = true;
    QJsonArray itemList;
    QStringList offered;
    QStringList hidden;
    QStringList specialErrors;
};

// The property's value in its own type, so a long compares as a long.
QVariant asPropertyType(const Record& record, const QString& key, QVariant value)
{
    const int index = record.metaObject()->indexOfProperty(key.toLatin1().constData());
    value.convert(record.metaObject()->property(index).userType());
    return value;
}

} // namespace

class TestPalJsonParser : public QObject
{
    Q_OBJECT

private slots:
    void parseValue_data();
    void parseValue();
    void parseObject_data();
    void parseObject();
    void parseErrors();

    void writeValue_data();
    void writeValue();
    void writeKeys();
};

void TestPalJsonParser::parseValue_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<bool>("converted");

    QTest::newRow("text from large integer, digit for digit")
        << "text" << QByteArray("12345678901234567") << QVariant("12345678901234567") << true;
    QTest::newRow("text from huge number, no exponent")
        << "text" << QByteArray("1e20") << QVariant("100000000000000000000") << true;
    QTest::newRow("null keeps the value")
        << "text" << QByteArray("null") << QVariant("init") << true;

    QTest::newRow("bytes from non-ASCII text as UTF-8")
        << "bytes" << QByteArray("\"\xc3\xa4\"") << QVariant(QByteArray("\xc3\xa4")) << true;

    QTest::newRow("bool from 1") << "flag" << QByteArray("1") << QVariant(true) << true;
    QTest::newRow("bool from 2 is refused")
        << "flag" << QByteArray("2") << QVariant(false) << false;

    QTest::newRow("int from text") << "count" << QByteArray(R"(" -17 ")") << QVariant(-17) << true;
    QTest::newRow("int from fraction is refused")
        << "count" << QByteArray("1.5") << QVariant(7) << false;
    QTest::newRow("int beyond its range is refused")
        << "count" << QByteArray("2147483648") << QVariant(7) << false;

    QTest::newRow("long from number") << "code" << QByteArray("1908") << QVariant(1908) << true;

    QTest::newRow("qint64 beyond 2^53 from number")
        << "big" << QByteArray("9007199254740993") << QVariant(Q_INT64_C(9007199254740993)) << true;
    QTest::newRow("qint64 overflowing text is refused")
        << "big" << QByteArray(R"("9223372036854775808")") << QVariant(7) << false;
    QTest::newRow("qint64 from too large a number is refused")
        << "big" << QByteArray("1e19") << QVariant(7) << false;

    QTest::newRow("double from text")
        << "ratio" << QByteArray(R"("-0.5")") << QVariant(-0.5) << true;

    QTest::newRow("ignored write keeps computing")
        << "computed" << QByteArray(R"("x")") << QVariant("computed from the host") << true;
    QTest::newRow("read-only property is left alone")
        << "fixed" << QByteArray(R"("x")") << QVariant("fixed") << true;
}

void TestPalJsonParser::parseValue()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, json);
    QFETCH(QVariant, expected);
    QFETCH(bool, converted);

    // Read from text, as replies are: a QJsonValue put into an object by hand would already
    // have lost the digits of integers beyond 2^53.
    const QJsonDocument document =
        QJsonDocument::fromJson("{\"" + key.toLatin1() + "\": " + json + "}");
    QVERIFY(document.isObject());
    Record record;
    QCOMPARE(record.Parse(document), converted);
    QCOMPARE(record.GetParseErrors(), converted ? QStringList() : QStringList{key});
    QCOMPARE(record.property(key.toLatin1().constData()), asPropertyType(record, key, expected));
}

void TestPalJsonParser::parseObject_data()
{
    QTest::addColumn<bool>("handled"); // the record takes "items" over
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<int>("listSize");

    // Taken over, the list lands in the record's own member and the placeholder stays empty;
    // declined, the mapper sets the placeholder like any other property.
    QTest::newRow("special key handled by the record") << true << QByteArray() << 2;
    QTest::newRow("special key declined by the record") << false << QByteArray("[1,2]") << 0;
}

void TestPalJsonParser::parseObject()
{
    QFETCH(bool, handled);
    QFETCH(QByteArray, items);
    QFETCH(int, listSize);

    Record record;
    record.handleItems = handled;
    // A reply that is no object (or no reply at all) is refused without touching the record.
    QVERIFY(!record.Parse(QJsonDocument()));
    QVERIFY(!record.Parse(QJsonDocument(QJsonArray{QJsonObject{{"text", "x"}}})));
    QVERIFY(record.offered.isEmpty());

    // Unknown keys are ignored; missing keys are not offered and keep their values.
    const QByteArray list = handled ? R"([{"a": 1}, {"a": 2}])" : R"("[1,2]")";
    QVERIFY(record.Parse(
        QJsonDocument::fromJson(R"({"unknown": 1, "text": "t", "items": )" + list + "}")));
    QCOMPARE(record.offered, (QStringList{"text", "items"}));
    QCOMPARE(record.text, QStringLiteral("t"));
    QCOMPARE(record.count, 7);
    QCOMPARE(record.items, items);
    QCOMPARE(record.itemList.size(), listSize);
    // Written back the same way it was read.
    QCOMPARE(record.ToJsonObject().value(QStringLiteral("items")),
             handled ? QJsonValue(record.itemList) : QJsonValue("[1,2]"));
}

void TestPalJsonParser::parseErrors()
{
    Record record;
    // A key the record takes over reports its own error; the other keys are still taken.
    QVERIFY(!record.Parse(QJsonDocument::fromJson(R"({"items": 5, "count": 9})")));
    QCOMPARE(record.GetParseErrors(), QStringList{QStringLiteral("items: not an array")});
    QCOMPARE(record.count, 9);

    // A failed conversion names its key; the next parse starts without the old errors.
    record.specialErrors.clear();
    QVERIFY(!record.Parse(QJsonDocument::fromJson(R"({"count": "many"})")));
    QCOMPARE(record.GetParseErrors(), QStringList{QStringLiteral("count")});
    QVERIFY(record.Parse(QJsonDocument::fromJson(R"({"count": 3})")));
    QVERIFY(record.GetParseErrors().isEmpty());
    QCOMPARE(record.count, 3);
}

void TestPalJsonParser::writeValue_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QJsonValue>("expected");

    QTest::newRow("bytes as text")
        << "bytes" << QVariant(QByteArray("\xc3\xa4")) << QJsonValue(QStringLiteral("\u00e4"));
    QTest::newRow("long as number") << "code" << QVariant(1908) << QJsonValue(1908);
    QTest::newRow("qint64 at 2^53 as number")
        << "big" << QVariant(Q_INT64_C(9007199254740992)) << QJsonValue(9007199254740992.0);
    QTest::newRow("qint64 beyond 2^53 as exact text")
        << "big" << QVariant(Q_INT64_C(9007199254740993)) << QJsonValue("9007199254740993");
    QTest::newRow("NaN as null") << "ratio" << QVariant(std::nan("")) << QJsonValue();
    QTest::newRow("computed") << "computed" << QVariant() << QJsonValue("computed from the host");
}

void TestPalJsonParser::writeValue()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QJsonValue, expected);

    Record record;
    if (value.isValid())
        QVERIFY(record.setProperty(key.toLatin1().constData(), asPropertyType(record, key, value)));
    QCOMPARE(record.ToJsonObject().value(key), expected);
}

void TestPalJsonParser::writeKeys()
{
    Record record;
    // objectName belongs to QObject, not to the record.
    QCOMPARE(record.ToJsonObject().keys(),
             (QStringList{"big", "bytes", "code", "computed", "count", "fixed", "flag", "items",
                          "ratio", "text"}));
    record.hidden = QStringList{QStringLiteral("count"), QStringLiteral("items")};
    QCOMPARE(record.ToJsonObject().keys(),
             (QStringList{"big", "bytes", "code", "computed", "fixed", "flag", "ratio", "text"}));
}

QTEST_APPLESS_MAIN(TestPalJsonParser)
#include "tst_paljsonparser.moc"
