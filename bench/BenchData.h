#pragma once

#include "NameLists.h"

#include <QStringList>

// Generated inputs shared by the benchmarks.
namespace tarnwell::bench {

// n entries: the root Doc, then n - 1 Item children with values of about 20
// characters.
QStringList flatPairList(int n);

// List E of 200 entries, Doc/Item among them.
const NameLists &benchLists();

} // namespace tarnwell::bench
