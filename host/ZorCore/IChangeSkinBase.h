#pragma once

#include "zorcore_export.h"

#include <QString>

// Implemented by windows that restyle themselves when the host switches its skin.
class ZORCORE_EXPORT IChangeSkinBase
{
public:
    virtual ~IChangeSkinBase();
    virtual void ChangeSkin(const QString& skinName);
};
