#include "IDpiAdapter.h"

#include "DpiAdapterRegistry.h"

#include <QList>

namespace {

// Adapters are widgets and live on the GUI thread only, so the registry needs no lock.
QList<IDpiAdapter*>& Registry()
{
    static QList<IDpiAdapter*> adapters;
    return adapters;
}

} // namespace

IDpiAdapter::IDpiAdapter(bool bRegister) : m_bRegistered(bRegister)
{
    if (m_bRegistered)
        Registry().append(this);
}

IDpiAdapter::~IDpiAdapter()
{
    if (m_bRegistered)
        Registry().removeOne(this);
}

void IDpiAdapter::AdjustForDpi()
{}

void DpiAdapterRegistry::NotifyAll()
{
    // An adapter's AdjustForDpi may destroy other adapters (or itself) or create new ones,
    // so walk a snapshot and skip whoever left the registry in the meantime.
    const QList<IDpiAdapter*> snapshot = Registry();
    for (IDpiAdapter* adapter : snapshot) {
        if (Registry().contains(adapter))
            adapter->AdjustForDpi();
    }
}
