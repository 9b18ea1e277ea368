#include "PalJsonParserBase.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>
#include <QMetaProperty>
#include <QMutex>
#include <QMutexLocker>
#include <QVarLengthArray>
#include <QVariant>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

// Integers up to this magnitude survive a trip through a JSON number (an IEEE double) on
// any reader; beyond it a 64-bit value is written as decimal text so no digit is lost.
constexpr qint64 kMaxExactJsonInteger = qint64(1) << 53;

// The decimal text of a JSON number: integers digit for digit, fractions in their shortest
// form, never with an exponent (a code sent as 1907 reads as "1907").
QString NumberText(const QJsonValue& value)
{
    const QVariant number = value.toVariant();
    if (number.userType() == QMetaType::LongLong)
        return QString::number(number.toLongLong());
    return QString::number(value.toDouble(), 'f', QLocale::FloatingPointShortest);
}

// The JSON value as a whole number, if it is one: a JSON integer, a double without a
// fraction, or a text holding a decimal integer.
std::optional<qint64> ToInteger(const QJsonValue& value)
{
    if (value.isDouble()) {
        const QVariant number = value.toVariant();
        if (number.userType() == QMetaType::LongLong)
            return number.toLongLong();
        const double d = value.toDouble();
        // 2^63 is exactly representable; anything at or beyond it does not fit.
        if (std::isfinite(d) && std::trunc(d) == d && d >= -9223372036854775808.0 &&
            d < 9223372036854775808.0)
            return static_cast<qint64>(d);
        return std::nullopt;
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok, 10);
        if (ok)
            return n;
    }
    return std::nullopt;
}

template<typename T>
std::optional<T> ToBoundedInteger(const QJsonValue& value)
{
    const std::optional<qint64> n = ToInteger(value);
    if (!n || *n < qint64(std::numeric_limits<T>::min()) ||
        *n > qint64(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(*n);
}

std::optional<double> ToDouble(const QJsonValue& value)
{
    if (value.isDouble())
        return value.toDouble();
    if (value.isString()) {
        bool ok = false;
        const double d = QLocale::c().toDouble(value.toString().trimmed(), &ok);
        if (ok)
            return d;
    }
    return std::nullopt;
}

std::optional<bool> ToBool(const QJsonValue& value)
{
    if (value.isBool())
        return value.toBool();
    if (value.isString()) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            return false;
        return std::nullopt;
    }
    if (const std::optional<qint64> n = ToInteger(value); n && (*n == 0 || *n == 1))
        return *n == 1;
    return std::nullopt;
}

// The value converted to the property's type; an invalid QVariant when it cannot be.
QVariant ToPropertyValue(int type, const QJsonValue& value)
{
    switch (type) {
    case QMetaType::QString:
        if (value.isString())
            return value.toString();
        if (value.isDouble())
            return NumberText(value);
        return {};
    case QMetaType::QByteArray:
        if (value.isString())
            return value.toString().toUtf8();
        if (value.isDouble())
            return NumberText(value).toUtf8();
        return {};
    case QMetaType::Bool:
        if (const auto b = ToBool(value))
            return *b;
        return {};
    case QMetaType::Int:
        if (const auto n = ToBoundedInteger<int>(value))
            return *n;
        return {};
    case QMetaType::Long:
        // The variant must carry QMetaType::Long itself, or the write is refused.
        if (const auto n = ToBoundedInteger<long>(value))
            return QVariant::fromValue<long>(*n);
        return {};
    case QMetaType::LongLong:
        if (const auto n = ToInteger(value))
            return QVariant::fromValue<qint64>(*n);
        return {};
    case QMetaType::Double:
        if (const auto d = ToDouble(value))
            return *d;
        return {};
    default:
        // A type the mapper has no rule for: whatever Qt can make of the plain value.
        return value.toVariant();
    }
}

QJsonValue ToJsonValue(int type, const QVariant& value)
{
    switch (type) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QByteArray: {
        // With its size: the QByteArray overload of fromUtf8 stops at the first NUL byte.
        const QByteArray bytes = value.toByteArray();
        return QString::fromUtf8(bytes.constData(), bytes.size());
    }
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
        return value.toInt();
    case QMetaType::Long:
    case QMetaType::LongLong: {
        const qint64 n = value.toLongLong();
        if (n >= -kMaxExactJsonInteger && n <= kMaxExactJsonInteger)
            return QJsonValue(double(n));
        return QString::number(n);
    }
    case QMetaType::Double: {
        const double d = value.toDouble();
        // JSON has no NaN or infinity.
        return std::isfinite(d) ? QJsonValue(d) : QJsonValue(QJsonValue::Null);
    }
    default:
        return QJsonValue::fromVariant(value);
    }
}

// A record class's keys, worked out once per class: a long reply parses thousands of
// records of one class, and the property names never change.
struct PropertyKey
{
    QMetaProperty property;
    QString key;
    int type;
    // The property's absolute index, for writing it without going through QMetaProperty.
    int index;
    bool writable;
    // The next property with the same key (a subclass may declare a key its base declares
    // too, and each takes the value); -1 for none.
    int nextSameKey;
};

const QVector<PropertyKey>& PropertyKeys(const QMetaObject* meta)
{
    // Records of one class usually come in runs: the last class each thread asked for
    // needs no lock.
    thread_local const QMetaObject* lastMeta = nullptr;
    thread_local const QVector<PropertyKey>* lastKeys = nullptr;
    if (meta == lastMeta)
        return *lastKeys;
    static QMutex mutex;
    // Entries are never removed, so a reference stays valid once the lock is released.
    static QHash<const QMetaObject*, QVector<PropertyKey>> keysByClass;
    QMutexLocker locker(&mutex);
    auto found = keysByClass.constFind(meta);
    if (found == keysByClass.constEnd()) {
        QVector<PropertyKey> keys;
        for (int i = PalJsonParserBase::staticMetaObject.propertyCount(); i < meta->propertyCount();
             ++i) {
            const QMetaProperty property = meta->property(i);
            keys.append({property, QString::fromLatin1(property.name()), property.userType(),
                         property.propertyIndex(), property.isWritable(), -1});
        }
        for (int i = 0; i < keys.size(); ++i) {
            for (int j = i + 1; j < keys.size() && keys[i].nextSameKey < 0; ++j) {
                if (keys[j].key == keys[i].key)
                    keys[i].nextSameKey = j;
            }
        }
        found = keysByClass.insert(meta, keys);
    }
    lastMeta = meta;
    lastKeys = &found.value();
    return *lastKeys;
}

} // namespace

PalJsonParserBase::PalJsonParserBase(QObject* parent) : QObject(parent)
{}

PalJsonParserBase::~PalJsonParserBase() = default;

bool PalJsonParserBase::Parse(const QJsonDocument& document)
{
    if (!document.isObject()) {
        m_parseErrors.clear();
        return false;
    }
    return Parse(document.object());
}

bool PalJsonParserBase::Parse(const QJsonObject& object)
{
    m_parseErrors.clear();
    const QVector<PropertyKey>& keys = PropertyKeys(metaObject());
    // Where each property's key is in the object, found in one pass over its members. Looking
    // each key up instead costs more: the object compares the key with several of its own,
    // decoding them character by character every time.
    QVarLengthArray<QJsonObject::const_iterator, 16> members(keys.size());
    std::fill(members.begin(), members.end(), object.constEnd());
    for (auto member = object.constBegin(); member != object.constEnd(); ++member) {
        const QString name = member.key();
        for (int i = 0; i < keys.size(); ++i) {
            if (keys[i].key.size() != name.size() || keys[i].key != name)
                continue;
            for (int same = i; same >= 0; same = keys[same].nextSameKey)
                members[same] = member;
            break;
        }
    }
    bool ok = true;
    // In declaration order, whatever the order of the object's members.
    for (int i = 0; i < keys.size(); ++i) {
        if (members[i] == object.constEnd())
            continue;
        const PropertyKey& entry = keys[i];
        const QJsonValue value = members[i].value();
        if (ParseSpecial(entry.key, value))
            continue;
        // null stands for "no value": the property keeps what it has.
        if (value.isNull() || !entry.writable)
            continue;
        if (entry.type == QMetaType::QString && value.isString()) {
            // The common case, written straight into the property: no variant to build,
            // check and convert for every key of every record.
            QString text = value.toString();
            int status = -1;
            int flags = 0;
            void* argv[] = {&text, nullptr, &status, &flags};
            QMetaObject::metacall(this, QMetaObject::WriteProperty, entry.index, argv);
            continue;
        }
        const QVariant converted = ToPropertyValue(entry.type, value);
        if (!converted.isValid() || !entry.property.write(this, converted)) {
            m_parseErrors.append(entry.key);
            ok = false;
        }
    }
    return ok && GetParseErrorSpecial().isEmpty();
}

QJsonObject PalJsonParserBase::ToJsonObject() const
{
    QJsonObject object;
    const QMetaObject* meta = metaObject();
    for (int i = staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.isReadable())
            continue;
        const QString key = QString::fromLatin1(property.name());
        if (!JoinToJson(key))
            continue;
        QJsonValue value;
        if (!ToSpecial(key, value))
            value = ToJsonValue(property.userType(), property.read(this));
        object.insert(key, value);
    }
    return object;
}

QStringList PalJsonParserBase::GetParseErrors() const
{
    return m_parseErrors + GetParseErrorSpecial();
}

bool PalJsonParserBase::ParseSpecial(const QString&, const QJsonValue&)
{
    return false;
}

bool PalJsonParserBase::ToSpecial(const QString&, QJsonValue&) const
{
    return false;
}

bool PalJsonParserBase::JoinToJson(const QString&) const
{
    return true;
}

QStringList PalJsonParserBase::GetParseErrorSpecial() const
{
    return {};
}
