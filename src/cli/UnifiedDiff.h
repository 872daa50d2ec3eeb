#pragma once

#include <QByteArray>

namespace tarnwell {

// The differences between two texts as `diff -u` prints them: a "--- label"
// and a "+++ label" line, then hunks of changed lines with three lines of
// context, "@@ -l,n +l,n @@" before each. Lines are compared byte for byte
// (a CR before the LF is part of its line); a last line without a line feed
// is followed by "\ No newline at end of file". Empty when the texts are
// equal.
//
// The lines are matched with Myers' O(ND) algorithm in linear space. Its
// work is bounded: texts that differ in too many places for that bound get
// a correct diff that lists more lines as changed than a minimal one would.
QByteArray unifiedDiff(const QByteArray &before, const QByteArray &after, const QByteArray &label);

} // namespace tarnwell
