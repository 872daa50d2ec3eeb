#pragma once

#include <QString>
#include <QStringList>

// Where a schema's files come from: local files, named directly or found
// through the system's XML catalogs. Nothing is ever fetched from the
// network.
namespace tarnwell {

// The local file that location names: a file name (relative ones resolve
// beside base, the local file or file: URL that names it), a file: URL, or
// any other URL that the XML catalogs (XML_CATALOG_FILES, else
// /etc/xml/catalog) map to a local file. Empty when none of these gives one.
QString ResolveLocalFile(const QString &location, const QString &base);

// The local schema file the XML catalogs map a namespace name to (a uri
// entry for it), as xmllint and Emacs find the schema of a document that
// names none; empty when they map it to nothing local.
QString SchemaForNamespace(const QString &namespaceName);

// Whether location is a URL of a scheme other than file: (what the catalogs
// are asked about).
bool IsRemoteLocation(const QString &location);

// What reading the catalogs left out, a sentence each: a catalog named by a
// URL (catalogs are read from local files only) or one that is not a
// regular file (a FIFO would block the read). Empty until the catalogs are
// first asked.
QStringList CatalogNotes();

// A sentence telling how to map url to a local copy through a catalog.
QString CatalogAdvice(const QString &url);

// The local file for a schema named on a command line: a plain path as it
// stands (relative to the working folder, no percent-decoding), a file: URL,
// or a URL that the catalogs map. Throws an Error that names the URL and how
// to map it when no catalog does.
QString SchemaFileFromArgument(const QString &argument);

} // namespace tarnwell
