// The JSON property mapper: whatever a record reads, it writes back so that reading it again
// gives the same values, through a QJsonObject and through JSON text; and whatever values a
// record holds survive being written as JSON text and read back.

#include "ConsultDescEntity.h"
#include "FuzzCheck.h"
#include "PalJsonParserBase.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

// One property of every type the mapper supports.
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
public:
    QString text;
    QByteArray bytes;
    bool flag = false;
    int count = 0;
    long code = 0;
    qint64 big = 0;
    double ratio = 0.0;
};

void CheckSame(const Record& a, const Record& b)
{
    FUZZ_CHECK(a.text == b.text);
    FUZZ_CHECK(a.bytes == b.bytes);
    FUZZ_CHECK(a.flag == b.flag);
    FUZZ_CHECK(a.count == b.count);
    FUZZ_CHECK(a.code == b.code);
    FUZZ_CHECK(a.big == b.big);
    FUZZ_CHECK(a.ratio == b.ratio);
}

QJsonDocument ThroughText(const QJsonObject& object)
{
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QJsonDocument(object).toJson(QJsonDocument::Compact), &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError);
    return document;
}

// A record written by the mapper is read back without a complaint and to the same values,
// from the object and from its JSON text; same(a, b) compares two records.
template<typename T, typename Same>
void CheckReadBack(const T& original, Same same)
{
    const QJsonObject written = original.ToJsonObject();
    T direct;
    FUZZ_CHECK(direct.Parse(QJsonDocument(written)));
    same(original, direct);
    T text;
    FUZZ_CHECK(text.Parse(ThroughText(written)));
    same(original, text);
}

// The feedback record keeps its category codes as 32-bit numbers: a code that does not fit
// is no valid code and reads as 0, never as another number.
void CheckCode(const QJsonObject& object, const QString& key, long stored)
{
    FUZZ_CHECK(stored >= std::numeric_limits<qint32>::min() &&
               stored <= std::numeric_limits<qint32>::max());
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return;
    const double d = value.toDouble();
    if (std::trunc(d) != d || std::fabs(d) > 9007199254740992.0)
        return;
    const bool fits =
        d >= std::numeric_limits<qint32>::min() && d <= std::numeric_limits<qint32>::max();
    FUZZ_CHECK(stored == (fits ? static_cast<long>(d) : 0));
}

void CheckSameStored(const ConsultDescEntity& a, const ConsultDescEntity& b)
{
    FUZZ_CHECK(a.GetStartBusinessCode1() == b.GetStartBusinessCode1());
    FUZZ_CHECK(a.GetStartBusinessName1() == b.GetStartBusinessName1());
    FUZZ_CHECK(a.GetStartBusinessCode2() == b.GetStartBusinessCode2());
    FUZZ_CHECK(a.GetStartBusinessName2() == b.GetStartBusinessName2());
    FUZZ_CHECK(a.GetTelphone() == b.GetTelphone());
    FUZZ_CHECK(a.GetQuestionDesc() == b.GetQuestionDesc());
    FUZZ_CHECK(a.GetSourceType() == b.GetSourceType());
    FUZZ_CHECK(a.GetBrowserVersion() == b.GetBrowserVersion());
    const auto filesA = a.GetFileList();
    const auto filesB = b.GetFileList();
    FUZZ_CHECK(filesA.size() == filesB.size());
    for (int i = 0; i < filesA.size(); ++i) {
        FUZZ_CHECK(filesA.at(i)->url == filesB.at(i)->url);
        FUZZ_CHECK(filesA.at(i)->fileName == filesB.at(i)->fileName);
    }
}

// JSON from outside: what a record reads, it writes so that it reads the same again.
void CheckDocument(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return;

    Record record;
    record.Parse(document);
    CheckReadBack(record, CheckSame);

    ConsultDescEntity desc;
    desc.Parse(document);
    CheckCode(document.object(), QStringLiteral("startBusinessCode1"),
              desc.GetStartBusinessCode1());
    CheckCode(document.object(), QStringLiteral("startBusinessCode2"),
              desc.GetStartBusinessCode2());
    CheckReadBack(desc, CheckSameStored);
}

// Values set in code, any content: they survive the trip through JSON text.
void CheckValues(FuzzedDataProvider& input)
{
    Record record;
    // Text is valid UTF-16 and a byte array valid UTF-8, NUL included: what a JSON string can
    // carry. (Bytes that are no UTF-8 at all cannot travel as JSON text.)
    const std::string text = input.ConsumeRandomLengthString();
    record.text = QString::fromUtf8(text.data(), int(text.size()));
    const std::string bytes = input.ConsumeRandomLengthString();
    record.bytes = QString::fromUtf8(bytes.data(), int(bytes.size())).toUtf8();
    record.flag = input.ConsumeBool();
    record.count = input.ConsumeIntegral<int>();
    record.code = input.ConsumeIntegral<long>();
    record.big = input.ConsumeIntegral<qint64>();
    // JSON has no NaN or infinity; the mapper writes them as null by design.
    record.ratio = input.ConsumeFloatingPoint<double>();
    if (!std::isfinite(record.ratio))
        record.ratio = 0.0;
    CheckReadBack(record, CheckSame);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses: JSON text ('{'), or values drawn from the bytes.
    if (data[0] == '{') {
        CheckDocument(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    } else {
        FuzzedDataProvider input(data + 1, size - 1);
        CheckValues(input);
    }
    return 0;
}

#include "fuzz_json_mapping.moc"
