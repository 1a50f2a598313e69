#include "settings/PlacementStorage.h"

#include "settings/RegistryStore.h"

namespace quillon::settings {

PlacementRestore readPlacementToRestore(RegistryStore &store, const QString &windowKey,
                                        const WindowPlacement &current, QSize screenSize,
                                        int pixelsPerInch) {
  const RegistryKey key = store.subkey(windowKey);
  return placementToRestore([&key](const QString &name) { return key.readString(name); }, current,
                            screenSize, pixelsPerInch);
}

void writePlacement(RegistryStore &store, const QString &windowKey,
                    const WindowPlacement &placement, QSize screenSize) {
  RegistryKey key = store.createSubkey(windowKey);
  for (const PlacementValue &value : placementValuesToWrite(placement, screenSize))
    key.writeString(value.name, value.text);
}

} // namespace quillon::settings
