#include "ConsultBusinessTypeEntity.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

ConsultBusinessTypeEntity::ConsultBusinessTypeEntity(QObject* parent) : PalJsonParserBase(parent)
{}

QList<QSharedPointer<ConsultBusinessTypeEntity>> ConsultBusinessTypeEntity::GetChildren() const
{
    return m_children;
}

void ConsultBusinessTypeEntity::SetChildren(
    const QList<QSharedPointer<ConsultBusinessTypeEntity>>& list)
{
    // Assignment rather than clear-and-append, so passing our own GetChildren() is safe.
    m_children = list;
}

bool ConsultBusinessTypeEntity::ParseSpecial(const QString& key, const QJsonValue& value)
{
    if (key != QLatin1String("children"))
        return false;
    // Anything but an array counts as "no children"; the placeholder property stays empty.
    m_children = ParseList(value.toArray());
    return true;
}

QList<QSharedPointer<ConsultBusinessTypeEntity>>
ConsultBusinessTypeEntity::ParseList(const QJsonArray& array)
{
    QList<QSharedPointer<ConsultBusinessTypeEntity>> list;
    list.reserve(array.size());
    for (const QJsonValue& element : array) {
        // Made in its place: appending a pointer at hand would copy it, and copying a shared
        // pointer costs two atomic increments now and two decrements when the copy goes.
        list.append(QSharedPointer<ConsultBusinessTypeEntity>());
        QSharedPointer<ConsultBusinessTypeEntity>& entity = list.last();
        entity = QSharedPointer<ConsultBusinessTypeEntity>::create();
        // A malformed element still takes its place, so the order of the others is kept.
        entity->Parse(element.toObject());
    }
    return list;
}
