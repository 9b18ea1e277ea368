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

// Same key as Record's text, another type; and a record that adds a key to Record's.
class CountedText : public PalJsonParserBase
{
    Q_OBJECT
    Q_PROPERTY(int text MEMBER text)
public:
    int text = 7;
};

class LabelledRecord : public Record
{
    Q_OBJECT
    Q_PROPERTY(QString label MEMBER label)
public:
    QString label = QStringLiteral("init");
};

// Declares Record's "text" key again, for a member of its own.
class ShadowingRecord : public Record
{
    Q_OBJECT
    Q_PROPERTY(QString text MEMBER ownText)
public:
    QString ownText = QStringLiteral("init");
};

} // namespace

class TestPalJsonParser : public QObject
{
    Q_OBJECT

private slots:
    void parseValue_data();
    void parseValue();
    void parseObject_data();
    void parseObject();
    void parseKeys_data();
    void parseKeys();
    void parseErrors();
    void parseClasses_data();
    void parseClasses();

    void writeKeys();
};

void TestPalJsonParser::parseValue_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<bool>("converted");
    QTest::addColumn<QJsonValue>("written"); // undefined: not checked

    const auto row = [](const char* name, const char* key, const QByteArray& json,
                        const QVariant& expected, bool converted = true,
                        const QJsonValue& written = QJsonValue::Undefined) {
        QTest::newRow(name) << QString::fromLatin1(key) << json << expected << converted << written;
    };
    row("text from large integer, every digit", "text", "12345678901234567", "12345678901234567");
    row("text from huge number, no exponent", "text", "1e20", "100000000000000000000");
    row("null keeps the value", "text", "null", "init");
    row("bytes from and to non-ASCII text as UTF-8", "bytes", "\"\xc3\xa4\"",
        QByteArray("\xc3\xa4"), true, QStringLiteral("\u00e4"));
    // Every byte survives the round trip: a NUL does not end the text.
    row("bytes with NUL bytes, to JSON whole", "bytes", R"("a\u0000b\u0000")",
        QByteArray("a\0b\0", 4), true, QString::fromLatin1("a\0b\0", 4));
    row("bytes starting with NUL and non-ASCII after it", "bytes", R"("\u0000\u00e4")",
        QByteArray("\0\xc3\xa4", 3), true, QString::fromUtf8("\0\xc3\xa4", 3));
    row("bool from 1", "flag", "1", true);
    row("bool from 2 is refused", "flag", "2", false, false);
    row("int from text", "count", R"(" -17 ")", -17);
    row("int from fraction is refused", "count", "1.5", 7, false);
    row("int beyond its range is refused", "count", "2147483648", 7, false);
    row("long from and to number", "code", "1908", 1908, true, 1908);
    row("qint64 at 2^53 from and to number", "big", "9007199254740992", Q_INT64_C(9007199254740992),
        true, 9007199254740992.0);
    row("qint64 beyond 2^53 from number, to exact text", "big", "9007199254740993",
        Q_INT64_C(9007199254740993), true, "9007199254740993");
    row("qint64 overflowing text is refused", "big", R"("9223372036854775808")", 7, false);
    row("qint64 from too large a number is refused", "big", "1e19", 7, false);
    row("double from text", "ratio", R"("-0.5")", -0.5);
    row("ignored write keeps computing", "computed", R"("x")", "computed from the host", true,
        "computed from the host");
    row("read-only property is left alone", "fixed", R"("x")", "fixed");
}

void TestPalJsonParser::parseValue()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, json);
    QFETCH(QVariant, expected);
    QFETCH(bool, converted);
    QFETCH(QJsonValue, written);

    // Read from text, as replies are: a QJsonValue put into an object by hand would already
    // have lost the digits of integers beyond 2^53.
    Record record;
    QCOMPARE(record.Parse(QJsonDocument::fromJson("{\"" + key.toLatin1() + "\": " + json + "}")),
             converted);
    QCOMPARE(record.GetParseErrors(), converted ? QStringList() : QStringList{key});
    // Compared in the property's own type, so a long compares as a long.
    const QMetaObject* meta = record.metaObject();
    const QMetaProperty property = meta->property(meta->indexOfProperty(qPrintable(key)));
    QVERIFY(expected.convert(property.userType()));
    QCOMPARE(property.read(&record), expected);
    if (!written.isUndefined())
        QCOMPARE(record.ToJsonObject().value(key), written);
}

void TestPalJsonParser::parseObject_data()
{
    QTest::addColumn<bool>("handled"); // the record takes "items" over

    QTest::newRow("special key handled by the record") << true;
    QTest::newRow("special key declined by the record") << false;
}

void TestPalJsonParser::parseObject()
{
    QFETCH(bool, handled);

    Record record;
    record.handleItems = handled;
    // A reply that is no object is refused without touching the record.
    QVERIFY(!record.Parse(QJsonDocument(QJsonArray{QJsonObject{{"text", "x"}}})));
    QVERIFY(record.offered.isEmpty());

    // Unknown keys are ignored; missing keys are not offered and keep their values. Taken
    // over, the list lands in the record's own member and the placeholder stays empty;
    // declined, the mapper sets the placeholder like any other property.
    const QByteArray list = handled ? R"([{"a": 1}, {"a": 2}])" : R"("[1,2]")";
    const auto reply =
        QJsonDocument::fromJson(R"({"unknown": 1, "text": "t", "items": )" + list + "}");
    QVERIFY(record.Parse(reply));
    QCOMPARE(record.offered, (QStringList{"text", "items"}));
    QCOMPARE(record.text, QStringLiteral("t"));
    QCOMPARE(record.count, 7);
    QCOMPARE(record.items, handled ? QByteArray() : QByteArray("[1,2]"));
    QCOMPARE(record.itemList.size(), handled ? 2 : 0);
    // Written back the same way it was read.
    QCOMPARE(record.ToJsonObject().value(QStringLiteral("items")), reply[QLatin1String("items")]);
}

// A record takes a key only when the whole key matches one of its own, byte for byte,
// wherever it stands among the object's other keys.
void TestPalJsonParser::parseKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");

    QTest::newRow("exact keys among near misses")
        << QByteArray(R"({"tex": "a", "textual": "b", "Text": "c", "text": "d", "txet": "e",)"
                      R"( "counts": 1, "coun": 2, "count": 3, "tnuoc": 4})")
        << "d" << 3;
    QTest::newRow("non-ASCII key of the same length")
        << QByteArray(R"({"t\u00e9xt": "a", "text": "b", "count": 4})") << "b" << 4;
    QTest::newRow("no key of the record")
        << QByteArray(R"({"texts": "a", "COUNT": 1})") << "init" << 7;
    QByteArray many = R"({"text": "t", "count": 5)";
    for (int i = 0; i < 300; ++i)
        many += ", \"k" + QByteArray::number(i) + "\": " + QByteArray::number(i);
    QTest::newRow("record keys among many others") << many + "}"
                                                   << "t" << 5;
}

void TestPalJsonParser::parseKeys()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, text);
    QFETCH(int, count);

    const QJsonDocument reply = QJsonDocument::fromJson(json);
    QVERIFY(reply.isObject());
    Record record;
    QVERIFY(record.Parse(reply));
    QCOMPARE(record.text, text);
    QCOMPARE(record.count, count);
    QCOMPARE(record.offered.contains(QStringLiteral("text")), text != QLatin1String("init"));

    // A key declared by a class and again by its subclass reaches both properties, each
    // offered to the record first.
    ShadowingRecord shadowing;
    QVERIFY(shadowing.Parse(reply));
    QCOMPARE(shadowing.text, text);
    QCOMPARE(shadowing.ownText, text);
    QCOMPARE(shadowing.count, count);
    QCOMPARE(shadowing.offered.count(QStringLiteral("text")),
             text != QLatin1String("init") ? 2 : 0);
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
}

void TestPalJsonParser::parseClasses_data()
{
    QTest::addColumn<bool>("countedFirst");
    QTest::addColumn<bool>("fromObject"); // the object itself rather than a document of it

    QTest::newRow("text record first") << false << false;
    QTest::newRow("counted record first") << true << false;
    QTest::newRow("counted record first, from the object") << true << true;
}

void TestPalJsonParser::parseClasses()
{
    QFETCH(bool, countedFirst);
    QFETCH(bool, fromObject);

    // Each class reads a key by its own property's type and finds the keys its bases
    // declare, whichever class parsed first.
    const auto reply = QJsonDocument::fromJson(R"({"text": "12", "label": "l", "count": 3})");
    const auto parse = [&](PalJsonParserBase& target) {
        return fromObject ? target.Parse(reply.object()) : target.Parse(reply);
    };
    CountedText counted;
    LabelledRecord labelled;
    Record record;
    if (countedFirst)
        QVERIFY(parse(counted));
    QVERIFY(parse(record));
    QVERIFY(parse(labelled));
    if (!countedFirst)
        QVERIFY(parse(counted));
    QCOMPARE(counted.text, 12);
    QCOMPARE(record.text, QStringLiteral("12"));
    QCOMPARE(labelled.text, QStringLiteral("12"));
    QCOMPARE(labelled.label, QStringLiteral("l"));
    QCOMPARE(labelled.count, 3);
}

void TestPalJsonParser::writeKeys()
{
    Record record;
    record.ratio = std::nan("");
    QCOMPARE(record.ToJsonObject().value(QStringLiteral("ratio")), QJsonValue()); // not NaN
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
