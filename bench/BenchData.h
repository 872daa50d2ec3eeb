#pragma once

#include "NameLists.h"

#include <QStringList>
#include <QTemporaryDir>

// Generated inputs shared by the benchmarks.
namespace tarnwell::bench {

// n entries: the root Doc, then n - 1 Item children with values of about 20
// characters.
QStringList flatPairList(int n);

// List E of 200 entries, Doc/Item among them.
const NameLists &benchLists();

// A document of n entries on disk: the root Doc and n - 1 Item elements with
// short text. reset() writes the original bytes again.
struct GeneratedDocument
{
    explicit GeneratedDocument(int entries);
    void reset() const;

    QTemporaryDir dir;
    QString path;
    QByteArray bytes;
};

// The 32,767-entry document shared by the provider and window benchmarks.
const GeneratedDocument &largeDocument();

} // namespace tarnwell::bench
