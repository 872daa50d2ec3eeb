#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The path syntax shared by the pair list, the tree and the provider.
//
// A segment is one node's name: an element name, or an attribute name with a
// leading "@". It may carry an index suffix "[n]": n counts the earlier
// siblings of the same name, from 0, and index 0 is never written. A path is
// segments joined by "/", root first.
namespace tarnwell {

// The XML Schema instance namespace URI.
inline constexpr QStringView kXsiNamespace = u"http://www.w3.org/2001/XMLSchema-instance";

// The one attribute segment that carries a namespace in the pair list.
inline constexpr QStringView kNoNamespaceSchemaLocation = u"@noNamespaceSchemaLocation";

// The segment without its index suffix: everything before the first "[".
// "Item[2]" gives "Item", "Item" gives "Item", "[3]" gives "".
QString StripIndex(QStringView segment);

// The index n of a segment, 0 when it has no "[". The digits are the
// characters after the first "[" up to, not including, the last character
// (taken to be the closing "]").
// Throws: TypeMismatch when they are not a decimal number, Overflow when the
// number is above 32,767, InvalidArgument when the segment ends in "[".
int SegmentIndex(QStringView segment);

// The XML Schema instance namespace when the last segment of path is exactly
// "@noNamespaceSchemaLocation", else the empty string.
QString NamespaceForPath(QStringView path);

// The segment for a name and its index: name, plus "[n]" when n > 0.
QString IndexedSegment(const QString &name, int index);

// Appends the same segment to out, without a string of its own; for
// builders of long lists of paths.
void AppendIndexedSegment(QString &out, QStringView name, int index);

// The number of characters IndexedSegment(name, index) has.
qsizetype IndexedSegmentSize(QStringView name, int index);

} // namespace tarnwell
