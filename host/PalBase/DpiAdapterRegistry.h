#pragma once

// Internal to PalBase: lets DpiTool reach the adapters that IDpiAdapter registers.
namespace DpiAdapterRegistry {

// Calls AdjustForDpi() on every adapter registered when the call starts and still alive
// when its turn comes; adapters created meanwhile are already at the new scale.
void NotifyAll();

} // namespace DpiAdapterRegistry
