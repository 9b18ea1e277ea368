#include "ConsultImageEntity.h"

ConsultImageEntity::ConsultImageEntity(QObject* parent) : PalJsonParserBase(parent)
{}
