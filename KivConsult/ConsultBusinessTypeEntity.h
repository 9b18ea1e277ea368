#pragma once

#include "PalJsonParserBase.h"

#include <QByteArray>
#include <QList>
#include <QSharedPointer>
#include <QString>

// One node of the problem-category tree, with its child categories in reply order.
class ConsultBusinessTypeEntity : public PalJsonParserBase
{
    Q_OBJECT
    Q_PROPERTY(QString businessTypeCode MEMBER businessTypeCode)
    Q_PROPERTY(QString businessTypeName MEMBER businessTypeName)
    // Makes "children" a key of the record; the children themselves live in the child list.
    Q_PROPERTY(QByteArray children MEMBER children)
public:
    explicit ConsultBusinessTypeEntity(QObject* parent = nullptr);

    QList<QSharedPointer<ConsultBusinessTypeEntity>> GetChildren() const;
    void SetChildren(const QList<QSharedPointer<ConsultBusinessTypeEntity>>& list);

    bool ParseSpecial(const QString& key, const QJsonValue& value) override;

    // Parses an array of category objects, recursively, keeping the array's order; an
    // element that is not an object becomes an entity with empty code and name.
    static QList<QSharedPointer<ConsultBusinessTypeEntity>> ParseList(const QJsonArray& array);

    QString businessTypeCode;
    QString businessTypeName;
    QByteArray children;

private:
    QList<QSharedPointer<ConsultBusinessTypeEntity>> m_children;
};
