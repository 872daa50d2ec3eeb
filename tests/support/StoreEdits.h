#pragma once

#include "NameLists.h"

#include <QByteArray>
#include <QStringList>
#include <functional>

// Edits made the way the editor makes them (through the document tree, with a
// configuration), for tests and fuzz targets that check every such edit
// stores and reads back.
namespace tarnwell::storeedits {

// Chooses a number in [0, n) for n > 0: a seeded generator in tests, the
// fuzzer's bytes in a fuzz target.
using Choose = std::function<unsigned(unsigned n)>;

// Values a user may type: commas, line breaks, markup characters, blanks at
// either end, non-ASCII (some of which a Latin-1 or Shift_JIS file cannot
// hold), and the empty value.
const QStringList &typedValues();

// A configuration under which every element and attribute of pairs is
// listed, in document order, and every element may also get a child "Added"
// and an attribute "@added".
NameLists configurationFor(const QStringList &pairs);

// One to maxEdits edits of pairs, as the editor makes them: a value changed,
// a child added at its declared place (under any element, leaves included),
// a node other than the root deleted. Each edit is described in *log.
QStringList edit(const QStringList &pairs, const NameLists &lists, const Choose &choose, int maxEdits,
                 QStringList *log);

// What GetData gives after sent was stored, in a form to compare: path and
// value of each element, followed by its attributes in path order (a
// document keeps attributes in its own order). An element that holds
// elements reads back without the blanks around its text.
QStringList expectedAfterStore(const QStringList &sent);
// The same form of a list read back with GetData.
QStringList comparable(const QStringList &pairs);

// A random well-formed document: nesting, attributes, empty, blank and text
// leaves, mixed content, comments, CDATA, character references, LF or CR LF
// line ends, indentation by spaces or tabs or none.
QByteArray randomDocument(const Choose &choose);

} // namespace tarnwell::storeedits
