#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// A TarnwellEditor.cfg made from an XML Schema, read with Xerces-C++, alone
// or together with example documents of the family.
namespace tarnwell {

struct SchemaConfig
{
    // One "E,path" or "ES,path" line per path, UTF-8 with LF, in the same
    // form as ConfigFromDocuments writes.
    QByteArray text;
    // The paths where a recursive content model was cut (each would have
    // entered an element declaration already on its way from the root), in
    // the order they were met.
    QStringList cuts;
    // How many more paths were cut than cuts names (the first thousand are
    // named).
    qsizetype moreCuts = 0;
    // What the user should know about names left out (a namespace without a
    // prefix, paths below the depth limit, an unused prefix), one sentence
    // each, at most once each.
    QStringList notes;
};

// How many elements deep the schema's paths go below the documents' paths
// unless --depth says otherwise.
inline constexpr int kLevelsBelowDocuments = 2;

struct SchemaConfigOptions
{
    // The global element to start from; empty for the only one (or, with
    // documents, their root).
    QString root;
    // Prefixes to write before names: (prefix, namespace URI); an empty URI
    // stands for the schema's target namespace.
    QList<std::pair<QString, QString>> prefixes;
    // Without examples: paths at most this many elements deep; 0 for no
    // limit but the document depth the editor reads (256). With examples:
    // how many elements deep the schema's paths go below each path the
    // documents hold; 0 for kLevelsBelowDocuments.
    int depth = 0;
};

// An example document: its pair list (as GetData gives it) and its text
// (for the namespace prefixes it declares).
struct SchemaExample
{
    QStringList pairs;
    QString text;
};

// Reads the schema at xsdPath (local files and what the XML catalogs map to
// local files; no external DTD or entity) and lists the paths under the
// global element options.root:
//
// - under each element its attributes first, then its child elements, in the
//   order the type writes them (a base type's content before an
//   extension's; a substitution group's members right after their head, an
//   abstract head left out; a strict or lax wildcard's global declarations
//   at its place), followed by what the types derived from the declared
//   type (not blocked, not abstract) add;
// - each path once, where it is first reached; recursion is cut where a path
//   would enter a declaration already on it;
// - an element path flagged S when every time it is reached the element can
//   stand only once under its parent;
// - names in the target namespace plain or with its prefix, names of other
//   namespaces with their prefix; names of a namespace without one are left
//   out, with a note.
//
// With examples, E holds every path the documents hold and, under each
// element path they hold, every attribute and child element the schema
// allows there, with their attributes and what the schema allows below them
// down to options.depth elements from the documents' path (each element's
// attributes with it); order and S come from the schema (S also
// needs the documents never to repeat the element), names the schema does
// not know follow in the documents' order, and prefixes are the ones the
// documents declare.
//
// Throws an Error naming the file, and where Xerces places the fault, when
// the schema cannot be read, is not an XML Schema or is not valid; an Error
// when the root is not a global element, a prefix is not a name or names a
// namespace the schema does not use, or the configuration would pass 32,767
// paths (the message names the ways out).
SchemaConfig ConfigFromSchema(const QString &xsdPath, const SchemaConfigOptions &options,
                              const std::vector<SchemaExample> &examples = {});

// The same with a root and a prefix for the target namespace only.
SchemaConfig ConfigFromSchema(const QString &xsdPath, const QString &root = {}, const QString &prefix = {});

// Whether name is an XML name without a colon (an NCName).
bool IsNcName(const QString &name);

} // namespace tarnwell
