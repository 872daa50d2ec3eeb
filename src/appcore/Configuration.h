#pragma once

#include "NameLists.h"

#include <QByteArray>
#include <QString>

// The configuration file "TarnwellEditor.cfg" beside the executable.
//
// One entry per line: flags, a comma, a path (further comma-separated fields
// are ignored). The path goes into list E when the flags contain "E", into S
// for "S", into D for "D" (case-sensitive, independent). A path that is empty
// or only spaces is passed over. A line without a comma (an empty line too)
// ends the reading, as does a list reaching 32,767 entries; the entries read
// before stay. Lines may end in CR LF, LF or a lone CR; the text is UTF-8.
namespace tarnwell {

inline constexpr QStringView kConfigurationFileName = u"TarnwellEditor.cfg";

// The directory of the executable joined with the file name by "/".
QString ConfigurationFilePath();

// The lists that the configuration text gives.
NameLists ParseConfiguration(const QByteArray &text);

// The lists of the file at path; empty lists when it is absent or cannot be
// read. Never fails: a broken configuration is silent.
NameLists ReadConfiguration(const QString &path);

} // namespace tarnwell
