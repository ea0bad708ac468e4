// wxnow.txt, the file in which APRS programs (UI-View, Xastir, APRSIS32 and others) look for a
// station's current weather: replaced whole after each valid set, so that a reader never sees
// half of it.
#pragma once

#include <QString>

#include "station/bytes.h"

namespace ombrix {

// Writes `text` to a temporary file in the same folder and renames it over `path`. Empty, or the
// reason it failed.
QString ReplaceFile(const QString& path, BytesView text);

}  // namespace ombrix
