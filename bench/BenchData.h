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

// A document on disk. reset() writes the original bytes again.
struct GeneratedDocument
{
    // n entries: the root Doc and n - 1 Item elements with short text.
    explicit GeneratedDocument(int entries);
    explicit GeneratedDocument(QByteArray content);
    void reset() const;

    QTemporaryDir dir;
    QString path;
    QByteArray bytes;
};

// The 32,767-entry document shared by the provider and window benchmarks.
const GeneratedDocument &largeDocument();

// A 32,767-entry document that names its schema, doc.xsd beside it: the
// root Doc with xsi:noNamespaceSchemaLocation, then 32,765 Item elements
// whose text is at most 40 characters.
const GeneratedDocument &schemaDocument();

// A document of three levels with attributes, of kNestedEntries entries:
// Doc, then Group elements of eight Item elements, each Item with the
// attributes id and state and a short text.
inline constexpr int kNestedEntries = 32751;
const GeneratedDocument &nestedDocument();

} // namespace tarnwell::bench
