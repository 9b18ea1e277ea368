#include "MarkupJson.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

namespace {

// Coordinates far beyond any screen, so arithmetic on them cannot overflow an int.
constexpr double kMaxCoordinate = 1 << 24;

bool ToInt(const QJsonValue& value, int* pResult)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (number != std::floor(number) || std::fabs(number) > kMaxCoordinate)
        return false;
    *pResult = int(number);
    return true;
}

bool ToInts(const QJsonValue& value, int count, QVector<int>* pResult)
{
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != count)
        return false;
    pResult->clear();
    for (const QJsonValue& item : array) {
        int number = 0;
        if (!ToInt(item, &number))
            return false;
        pResult->append(number);
    }
    return true;
}

bool ToPoint(const QJsonValue& value, QPoint* pPoint)
{
    QVector<int> xy;
    if (!ToInts(value, 2, &xy))
        return false;
    *pPoint = QPoint(xy.at(0), xy.at(1));
    return true;
}

bool ToRect(const QJsonValue& value, QRect* pRect)
{
    QVector<int> xywh;
    if (!ToInts(value, 4, &xywh) || xywh.at(2) <= 0 || xywh.at(3) <= 0)
        return false;
    *pRect = QRect(xywh.at(0), xywh.at(1), xywh.at(2), xywh.at(3));
    return true;
}

// Reads one entry; the message says what is wrong with it.
QString ParseShape(const QJsonObject& object, MarkupShape* pShape)
{
    static const QHash<QString, MarkupShape::Kind> kinds{
        {QStringLiteral("rectangle"), MarkupShape::Kind::Rectangle},
        {QStringLiteral("arrow"), MarkupShape::Kind::Arrow},
        {QStringLiteral("highlighter"), MarkupShape::Kind::Highlighter},
        {QStringLiteral("text"), MarkupShape::Kind::Text},
        {QStringLiteral("blackout"), MarkupShape::Kind::BlackOut}};
    const QString type = object.value(QStringLiteral("type")).toString();
    if (!kinds.contains(type))
        return QStringLiteral("unknown \"type\" \"%1\"").arg(type);
    const MarkupShape::Kind eKind = kinds.value(type);
    MarkupShape shape =
        eKind == MarkupShape::Kind::BlackOut ? MarkupShape::BlackOut(QRect()) : MarkupShape();
    shape.eKind = eKind;
    QStringList keys{QStringLiteral("type")};
    switch (shape.eKind) {
    case MarkupShape::Kind::Rectangle:
    case MarkupShape::Kind::BlackOut:
        keys << QStringLiteral("rect");
        if (!ToRect(object.value(keys.last()), &shape.rect))
            return QStringLiteral("\"rect\" must be [X, Y, W, H] with W and H above 0");
        break;
    case MarkupShape::Kind::Arrow: {
        QPoint from, to;
        keys << QStringLiteral("from") << QStringLiteral("to");
        if (!ToPoint(object.value(QStringLiteral("from")), &from) ||
            !ToPoint(object.value(QStringLiteral("to")), &to))
            return QStringLiteral("\"from\" and \"to\" must be [X, Y]");
        shape.points = {from, to};
        break;
    }
    case MarkupShape::Kind::Highlighter: {
        keys << QStringLiteral("points");
        const QJsonArray points = object.value(keys.last()).toArray();
        if (points.isEmpty())
            return QStringLiteral("\"points\" must be a list of [X, Y]");
        for (const QJsonValue& value : points) {
            QPoint point;
            if (!ToPoint(value, &point))
                return QStringLiteral("\"points\" must be a list of [X, Y]");
            shape.points.append(point);
        }
        break;
    }
    case MarkupShape::Kind::Text: {
        QPoint at;
        keys << QStringLiteral("at") << QStringLiteral("text");
        if (!ToPoint(object.value(QStringLiteral("at")), &at))
            return QStringLiteral("\"at\" must be [X, Y]");
        shape.rect = QRect(at, QSize(1, 1));
        shape.text = object.value(QStringLiteral("text")).toString();
        if (shape.text.isEmpty())
            return QStringLiteral("\"text\" must be a non-empty string");
        break;
    }
    }
    if (shape.eKind != MarkupShape::Kind::BlackOut) {
        keys << QStringLiteral("color") << QStringLiteral("size");
        const QJsonValue colour = object.value(QStringLiteral("color"));
        if (!colour.isUndefined()) {
            shape.colour = QColor(colour.toString());
            if (!colour.isString() || !shape.colour.isValid())
                return QStringLiteral("\"color\" must be \"#rrggbb\" or a colour name");
        }
        const QJsonValue size = object.value(QStringLiteral("size"));
        if (!size.isUndefined() &&
            (!ToInt(size, &shape.size) || shape.size <= 0 || shape.size > 1000))
            return QStringLiteral("\"size\" must be a whole number from 1 to 1000");
    }
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!keys.contains(it.key()))
            return QStringLiteral("unknown key \"%1\"").arg(it.key());
    }
    *pShape = shape;
    return QString();
}

} // namespace

bool MarkupJson::Parse(const QByteArray& json, MarkupShapes* pShapes, QString* pError)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *pError = QStringLiteral("not JSON: %1 at offset %2")
                      .arg(parseError.errorString())
                      .arg(parseError.offset);
        return false;
    }
    if (!document.isArray()) {
        *pError = QStringLiteral("expected a JSON array of shapes");
        return false;
    }
    MarkupShapes shapes;
    const QJsonArray array = document.array();
    for (int i = 0; i < array.size(); ++i) {
        MarkupShape shape;
        const QString problem = array.at(i).isObject() ? ParseShape(array.at(i).toObject(), &shape)
                                                       : QStringLiteral("expected an object");
        if (!problem.isEmpty()) {
            *pError = QStringLiteral("shape %1: %2").arg(i + 1).arg(problem);
            return false;
        }
        shapes.append(shape);
    }
    *pShapes = shapes;
    return true;
}

bool MarkupJson::FitsPicture(const MarkupShapes& shapes, const QSize& picture, QString* pError)
{
    const QRect bounds(QPoint(0, 0), picture);
    for (int i = 0; i < shapes.size(); ++i) {
        const MarkupShape& shape = shapes.at(i);
        if (shape.eKind == MarkupShape::Kind::BlackOut && !bounds.contains(shape.rect)) {
            *pError = QStringLiteral("shape %1: the black-out %2,%3,%4,%5 reaches outside the "
                                     "%6x%7 picture")
                          .arg(i + 1)
                          .arg(shape.rect.x())
                          .arg(shape.rect.y())
                          .arg(shape.rect.width())
                          .arg(shape.rect.height())
                          .arg(picture.width())
                          .arg(picture.height());
            return false;
        }
    }
    return true;
}

bool MarkupJson::Load(const QString& path, MarkupShapes* pShapes, QString* pError)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *pError = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kMaxFileSize) {
        *pError = QStringLiteral("%1: larger than %2 bytes").arg(path).arg(kMaxFileSize);
        return false;
    }
    QString problem;
    if (!Parse(file.read(kMaxFileSize + 1), pShapes, &problem)) {
        *pError = QStringLiteral("%1: %2").arg(path, problem);
        return false;
    }
    return true;
}
