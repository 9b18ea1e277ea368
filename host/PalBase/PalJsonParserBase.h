#pragma once

#include "palbase_export.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>

// Maps a record to and from JSON through its Qt properties: the properties a subclass
// declares, in declaration order, are the JSON keys. Supported property types: QString,
// QByteArray, bool, int, long, qint64 and double. Every key is first offered to
// ParseSpecial / ToSpecial, so a subclass can convert keys of its own (lists of records).
//
// Conversions when parsing: a JSON number read into a QString property becomes its decimal
// text (1907 reads as "1907"); a JSON string read into a number property is converted when
// it holds a number; a value of the wrong type leaves the property as it was.
// When writing: int and long properties become JSON numbers, QByteArray becomes text; a
// 64-bit value beyond +-2^53, which a JSON number cannot hold exactly, is written as its
// decimal text (and read back from it). JSON null leaves a property as it was.
class PALBASE_EXPORT PalJsonParserBase : public QObject
{
    Q_OBJECT
public:
    explicit PalJsonParserBase(QObject* parent = nullptr);
    ~PalJsonParserBase() override;

    // Fills the properties from the document's object. Returns false when the document is
    // not an object or a value could not be converted; the other keys are still taken.
    bool Parse(const QJsonDocument& document);
    // The same for an object at hand, without wrapping it in a document first (a long list
    // of records parses one object per record).
    bool Parse(const QJsonObject& object);

    // One key per readable property the subclass declares (not QObject's "objectName"),
    // skipping keys for which JoinToJson answers false.
    QJsonObject ToJsonObject() const;

    // Keys whose value could not be converted during the last Parse, with the special
    // keys' own complaints (GetParseErrorSpecial).
    QStringList GetParseErrors() const;

    // Returns true when the key was handled and the property must not be set.
    virtual bool ParseSpecial(const QString& key, const QJsonValue& value);
    // Returns true when the key was handled and out holds its JSON value.
    virtual bool ToSpecial(const QString& key, QJsonValue& out) const;
    // Whether the key appears in ToJsonObject; true unless a subclass says otherwise.
    virtual bool JoinToJson(const QString& key) const;
    virtual QStringList GetParseErrorSpecial() const;

private:
    QStringList m_parseErrors;
};
