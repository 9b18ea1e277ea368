// The JSON property mapper: which keys a record has, how each property type is read from
// and written to JSON, and how subclasses take over keys of their own.

#include "PalJsonParserBase.h"

#include <QJsonArray>
#include <QMetaProperty>
#include <QTest>

#include <cmath>
#include <limits>

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
    QString GetComputed() const { return QStringLiteral("computed from ") + source; }
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

    QString source = QStringLiteral("the host");
    bool handleItems = true;
    QJsonArray itemList;
    QStringList offered;
    QStringList hidden;
    QStringList specialErrors;
};

const QStringList kKeys{
    QStringLiteral("text"),  QStringLiteral("bytes"),    QStringLiteral("flag"),
    QStringLiteral("count"), QStringLiteral("code"),     QStringLiteral("big"),
    QStringLiteral("ratio"), QStringLiteral("computed"), QStringLiteral("fixed"),
    QStringLiteral("items"),
};

QJsonDocument objectWith(const QString& key, const QJsonValue& value)
{
    return QJsonDocument(QJsonObject{{key, value}});
}

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
    void parseNotAnObject_data();
    void parseNotAnObject();
    void parseOffersPresentKeysInDeclarationOrder();
    void parseErrorsAreReset();
    void specialKeys_data();
    void specialKeys();
    void specialErrorFailsParse();

    void writeValue_data();
    void writeValue();
    void writeHasOneKeyPerProperty();
    void joinToJsonLeavesKeysOut();
    void roundTrip();
    void ignoredWriteKeepsComputing();
};

void TestPalJsonParser::parseValue_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<bool>("converted");

    const QVariant initText = QStringLiteral("init");
    QTest::newRow("text from text")
        << "text" << QByteArray(R"("hello")") << QVariant("hello") << true;
    QTest::newRow("text from integer") << "text" << QByteArray("1907") << QVariant("1907") << true;
    QTest::newRow("text from negative integer")
        << "text" << QByteArray("-42") << QVariant("-42") << true;
    QTest::newRow("text from fraction") << "text" << QByteArray("1.5") << QVariant("1.5") << true;
    QTest::newRow("text from large integer, digit for digit")
        << "text" << QByteArray("12345678901234567") << QVariant("12345678901234567") << true;
    QTest::newRow("text from huge number, no exponent")
        << "text" << QByteArray("1e20") << QVariant("100000000000000000000") << true;
    QTest::newRow("text from bool is refused") << "text" << QByteArray("true") << initText << false;
    QTest::newRow("text from object is refused")
        << "text" << QByteArray(R"({"a": 1})") << initText << false;
    QTest::newRow("text from array is refused") << "text" << QByteArray("[1]") << initText << false;
    QTest::newRow("null keeps the value") << "text" << QByteArray("null") << initText << true;

    QTest::newRow("bytes from text")
        << "bytes" << QByteArray(R"("abc")") << QVariant("abc") << true;
    QTest::newRow("bytes from non-ASCII text as UTF-8")
        << "bytes" << QByteArray("\"\xc3\xa4\"") << QVariant(QByteArray("\xc3\xa4")) << true;
    QTest::newRow("bytes from number") << "bytes" << QByteArray("12") << QVariant("12") << true;
    QTest::newRow("bytes from bool is refused")
        << "bytes" << QByteArray("false") << QVariant("init") << false;

    QTest::newRow("bool from bool") << "flag" << QByteArray("true") << QVariant(true) << true;
    QTest::newRow("bool from text") << "flag" << QByteArray(R"("true")") << QVariant(true) << true;
    QTest::newRow("bool from 1") << "flag" << QByteArray("1") << QVariant(true) << true;
    QTest::newRow("bool from 2 is refused")
        << "flag" << QByteArray("2") << QVariant(false) << false;
    QTest::newRow("bool from other text is refused")
        << "flag" << QByteArray(R"("yes")") << QVariant(false) << false;

    QTest::newRow("int from number") << "count" << QByteArray("42") << QVariant(42) << true;
    QTest::newRow("int from text") << "count" << QByteArray(R"(" -17 ")") << QVariant(-17) << true;
    QTest::newRow("int from whole double") << "count" << QByteArray("3.0") << QVariant(3) << true;
    QTest::newRow("int from fraction is refused")
        << "count" << QByteArray("1.5") << QVariant(7) << false;
    QTest::newRow("int from non-number text is refused")
        << "count" << QByteArray(R"("4x2")") << QVariant(7) << false;
    QTest::newRow("int beyond its range is refused")
        << "count" << QByteArray("2147483648") << QVariant(7) << false;
    QTest::newRow("int from bool is refused")
        << "count" << QByteArray("true") << QVariant(7) << false;

    QTest::newRow("long from number") << "code" << QByteArray("1908") << QVariant(1908) << true;
    QTest::newRow("long from text") << "code" << QByteArray(R"("1914")") << QVariant(1914) << true;
    QTest::newRow("long from fraction is refused")
        << "code" << QByteArray("19.5") << QVariant(7) << false;
    QTest::newRow("long from object is refused")
        << "code" << QByteArray("{}") << QVariant(7) << false;

    QTest::newRow("qint64 beyond 2^53 from number")
        << "big" << QByteArray("9007199254740993") << QVariant(Q_INT64_C(9007199254740993)) << true;
    QTest::newRow("qint64 maximum from text")
        << "big" << QByteArray(R"("9223372036854775807")")
        << QVariant(std::numeric_limits<qint64>::max()) << true;
    QTest::newRow("qint64 overflowing text is refused")
        << "big" << QByteArray(R"("9223372036854775808")") << QVariant(7) << false;
    QTest::newRow("qint64 from too large a number is refused")
        << "big" << QByteArray("1e19") << QVariant(7) << false;

    QTest::newRow("double from number") << "ratio" << QByteArray("2.25") << QVariant(2.25) << true;
    QTest::newRow("double from integer") << "ratio" << QByteArray("3") << QVariant(3.0) << true;
    QTest::newRow("double from text")
        << "ratio" << QByteArray(R"("-0.5")") << QVariant(-0.5) << true;
    QTest::newRow("double from non-number text is refused")
        << "ratio" << QByteArray(R"("abc")") << QVariant(7.5) << false;

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

void TestPalJsonParser::parseNotAnObject_data()
{
    QTest::addColumn<QJsonDocument>("document");

    QTest::newRow("array") << QJsonDocument(QJsonArray{QJsonObject{{"text", "x"}}});
    QTest::newRow("null document") << QJsonDocument();
}

void TestPalJsonParser::parseNotAnObject()
{
    QFETCH(QJsonDocument, document);

    Record record;
    QVERIFY(!record.Parse(document));
    QCOMPARE(record.text, QStringLiteral("init"));
    QVERIFY(record.offered.isEmpty());
}

void TestPalJsonParser::parseOffersPresentKeysInDeclarationOrder()
{
    Record record;
    record.handleItems = false;
    // Written in another order, with a key the record does not have; missing keys are not
    // offered and keep their values.
    const QJsonDocument document = QJsonDocument::fromJson(
        R"({"ratio": 0.25, "unknown": 1, "items": "", "text": "t", "flag": true})");
    QVERIFY(record.Parse(document));
    QCOMPARE(record.offered, (QStringList{"text", "flag", "ratio", "items"}));
    QCOMPARE(record.text, QStringLiteral("t"));
    QCOMPARE(record.flag, true);
    QCOMPARE(record.ratio, 0.25);
    QCOMPARE(record.count, 7);
    QCOMPARE(record.bytes, QByteArray("init"));
}

void TestPalJsonParser::parseErrorsAreReset()
{
    Record record;
    QVERIFY(!record.Parse(objectWith(QStringLiteral("count"), QJsonValue("many"))));
    QCOMPARE(record.GetParseErrors(), QStringList{QStringLiteral("count")});
    QVERIFY(record.Parse(objectWith(QStringLiteral("count"), QJsonValue(3))));
    QVERIFY(record.GetParseErrors().isEmpty());
    QCOMPARE(record.count, 3);
}

void TestPalJsonParser::specialKeys_data()
{
    QTest::addColumn<bool>("handled");
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<int>("listSize");

    // Taken over, the list lands in the record's own member and the placeholder stays empty;
    // declined, the mapper sets the placeholder like any other property.
    QTest::newRow("handled by the record") << true << QByteArray() << 2;
    QTest::newRow("declined by the record") << false << QByteArray("[1,2]") << 0;
}

void TestPalJsonParser::specialKeys()
{
    QFETCH(bool, handled);
    QFETCH(QByteArray, items);
    QFETCH(int, listSize);

    Record record;
    record.handleItems = handled;
    // When the record declines, an array cannot go into the placeholder: a text is used.
    const QJsonValue value =
        handled ? QJsonValue(QJsonArray{QJsonObject{{"a", 1}}, QJsonObject{{"a", 2}}})
                : QJsonValue("[1,2]");
    QVERIFY(record.Parse(objectWith(QStringLiteral("items"), value)));
    QCOMPARE(record.offered, QStringList{QStringLiteral("items")});
    QCOMPARE(record.items, items);
    QCOMPARE(record.itemList.size(), listSize);

    const QJsonValue written = record.ToJsonObject().value(QStringLiteral("items"));
    if (handled)
        QCOMPARE(written, QJsonValue(record.itemList));
    else
        QCOMPARE(written, QJsonValue("[1,2]"));
}

void TestPalJsonParser::specialErrorFailsParse()
{
    Record record;
    QVERIFY(!record.Parse(QJsonDocument::fromJson(R"({"items": 5, "count": 9})")));
    QCOMPARE(record.GetParseErrors(), QStringList{QStringLiteral("items: not an array")});
    QCOMPARE(record.count, 9); // the other keys are still taken
}

void TestPalJsonParser::writeValue_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QJsonValue>("expected");

    QTest::newRow("text") << "text" << QVariant("hello") << QJsonValue("hello");
    QTest::newRow("bytes as text")
        << "bytes" << QVariant(QByteArray("\xc3\xa4")) << QJsonValue(QStringLiteral("\u00e4"));
    QTest::newRow("bool") << "flag" << QVariant(true) << QJsonValue(true);
    QTest::newRow("int as number") << "count" << QVariant(-42) << QJsonValue(-42);
    QTest::newRow("long as number") << "code" << QVariant(1908) << QJsonValue(1908);
    QTest::newRow("qint64 at 2^53 as number")
        << "big" << QVariant(Q_INT64_C(9007199254740992)) << QJsonValue(9007199254740992.0);
    QTest::newRow("qint64 beyond 2^53 as exact text")
        << "big" << QVariant(Q_INT64_C(9007199254740993)) << QJsonValue("9007199254740993");
    QTest::newRow("qint64 below -2^53 as exact text")
        << "big" << QVariant(std::numeric_limits<qint64>::min())
        << QJsonValue("-9223372036854775808");
    QTest::newRow("double") << "ratio" << QVariant(0.125) << QJsonValue(0.125);
    QTest::newRow("NaN as null") << "ratio" << QVariant(std::nan("")) << QJsonValue();
    QTest::newRow("computed") << "computed" << QVariant() << QJsonValue("computed from the host");
    QTest::newRow("read-only") << "fixed" << QVariant() << QJsonValue("fixed");
}

void TestPalJsonParser::writeValue()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QJsonValue, expected);

    Record record;
    if (value.isValid())
        QVERIFY(record.setProperty(key.toLatin1().constData(), asPropertyType(record, key, value)));
    const QJsonValue written = record.ToJsonObject().value(key);
    QCOMPARE(written.type(), expected.type());
    QCOMPARE(written, expected);
}

void TestPalJsonParser::writeHasOneKeyPerProperty()
{
    Record record;
    const QJsonObject object = record.ToJsonObject();
    QStringList keys = kKeys;
    keys.sort();
    // objectName belongs to QObject, not to the record.
    QCOMPARE(object.keys(), keys);
}

void TestPalJsonParser::joinToJsonLeavesKeysOut()
{
    Record record;
    record.hidden = QStringList{QStringLiteral("count"), QStringLiteral("items")};
    const QJsonObject object = record.ToJsonObject();
    QVERIFY(!object.contains(QStringLiteral("count")));
    QVERIFY(!object.contains(QStringLiteral("items")));
    QCOMPARE(object.size(), kKeys.size() - 2);
}

void TestPalJsonParser::roundTrip()
{
    Record original;
    original.text = QStringLiteral("line\nbreak \"quoted\" \u4e2d");
    original.bytes = "raw";
    original.flag = true;
    original.count = std::numeric_limits<int>::min();
    original.code = -1914;
    original.big = std::numeric_limits<qint64>::max();
    original.ratio = 1.0 / 3.0;
    original.itemList = QJsonArray{QJsonObject{{"url", "u"}}};

    const QByteArray text = QJsonDocument(original.ToJsonObject()).toJson(QJsonDocument::Compact);
    Record copy;
    QVERIFY(copy.Parse(QJsonDocument::fromJson(text)));
    for (const QString& key : kKeys) {
        const QByteArray name = key.toLatin1();
        QCOMPARE(copy.property(name.constData()), original.property(name.constData()));
    }
    QCOMPARE(copy.itemList, original.itemList);
}

void TestPalJsonParser::ignoredWriteKeepsComputing()
{
    Record record;
    QVERIFY(record.Parse(objectWith(QStringLiteral("computed"), QJsonValue("stale"))));
    record.source = QStringLiteral("the new session");
    QCOMPARE(record.ToJsonObject().value(QStringLiteral("computed")).toString(),
             QStringLiteral("computed from the new session"));
}

QTEST_APPLESS_MAIN(TestPalJsonParser)
#include "tst_paljsonparser.moc"
