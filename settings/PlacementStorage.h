#pragma once

#include "settings/WindowPlacement.h"

#include <QSize>
#include <QString>

namespace quillon::settings {

class RegistryStore;

// The subkeys, named after the window classes whose placement they keep.
inline const QString mainWindowPlacementKey = QStringLiteral("TfrmMainForm");
inline const QString viewerPlacementKey = QStringLiteral("TfrmOwnWindow");

// The restore decided from the window's subkey; a missing subkey gives every
// value its default.
PlacementRestore readPlacementToRestore(RegistryStore &store, const QString &windowKey,
                                        const WindowPlacement &current, QSize screenSize,
                                        int pixelsPerInch);

// Writes the nine values into the window's subkey, creating it when
// missing; stops at the first failure and throws SettingsError.
void writePlacement(RegistryStore &store, const QString &windowKey,
                    const WindowPlacement &placement, QSize screenSize);

} // namespace quillon::settings
