#pragma once

#include "palbase_export.h"

// Implemented by widgets whose sizes follow the screen scale. While registered, an adapter
// gets AdjustForDpi() whenever DpiTool's scale factor changes. Registration is from
// construction (when bRegister is true) to destruction.
class PALBASE_EXPORT IDpiAdapter
{
public:
    explicit IDpiAdapter(bool bRegister = true);
    virtual ~IDpiAdapter();

    IDpiAdapter(const IDpiAdapter&) = delete;
    IDpiAdapter& operator=(const IDpiAdapter&) = delete;

    virtual void AdjustForDpi();

private:
    bool m_bRegistered = false;
};
