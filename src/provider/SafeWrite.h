#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarnwell::xml {

// Writes bytes to path atomically: into a new file beside it, flushed to
// disk, then renamed over path, so a failure at any step leaves path as it
// was. The new file gets permissions (st_mode bits) when given, else what a
// newly created file would get. Returns an empty string on success, otherwise
// why it failed, as the end of a sentence ("there is no space left on the
// device.").
QString writeFileSafely(const QString &path, const QByteArray &bytes, std::optional<unsigned> permissions);

} // namespace tarnwell::xml
