#pragma once

#include "PalJsonParserBase.h"

#include <QString>

// One uploaded image of a feedback record.
class ConsultImageEntity : public PalJsonParserBase
{
    Q_OBJECT
    Q_PROPERTY(QString url MEMBER url)
    Q_PROPERTY(QString fileName MEMBER fileName)
public:
    explicit ConsultImageEntity(QObject* parent = nullptr);

    QString url;
    QString fileName;
};
