#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A TarnwellEditor.cfg made from an XML Schema, read with Xerces-C++.
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
};

// Reads the schema at xsdPath (only local files: anything it refers to
// through another URL scheme is refused) and lists the paths under the global
// element root, or under the only global element when root is empty:
//
// - under each element its attributes first, in the order of the type's
//   attribute uses, then its child elements in the order the content model
//   writes them (a base type's content before an extension's; a substitution
//   group's members right after their head, an abstract head left out);
// - each path once, where it is first reached;
// - an element path flagged S when every time it is reached the element can
//   stand only once under its parent: its particle and every group around it
//   have maxOccurs 1, and no other particle of that content model carries the
//   same name;
// - names plain, or "prefix:name" for the names in the schema's target
//   namespace when prefix is not empty (attributes only when qualified).
//
// Throws an Error naming the file, and the line and column where Xerces
// places it, when the schema cannot be read or is not valid, and an Error
// when root is not a global element or, without root, there is not exactly
// one (non-abstract) global element.
SchemaConfig ConfigFromSchema(const QString &xsdPath, const QString &root = {}, const QString &prefix = {});

} // namespace tarnwell
