// The wanted tree a pair list describes, and whether a parsed document holds it.
#pragma once

#include "NameHash.h"

#include "XmlDocument.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace tarnwell::xml {

struct TargetAttribute
{
    QString segment; // "@name" as in the pair list
    QString value;
    bool xsi = false; // "@noNamespaceSchemaLocation" in the schema-instance namespace
    QString ns;       // the namespace the entry gives; empty: the one its prefix has
    int entry = -1;   // the entry that gives it, from 0
};

struct TargetElement
{
    QString name;
    QString value;
    QString ns;     // the namespace the entry gives; empty: the one its prefix has
    int entry = -1; // the entry that gives it, from 0; -1 when only a longer path names it
    int parent = -1;
    int depth = 0;
    std::vector<TargetAttribute> attributes;
    std::vector<int> children;
    NameMap<std::vector<int>> childrenByName; // children per name, in order, for "Name[n]"
};

// The document a pair list describes.
struct Target
{
    std::vector<TargetElement> elements; // parents before children; 0 is the root
};

// Reads a pair list strictly. Throws, naming the entry, when it has no "DAT"
// entry, names an invalid XML name or an index that cannot be read, gives a
// path twice, names an index before the lower ones of its name ("a[1]"
// without "a"), gives an attribute a child or an unprefixed attribute a
// namespace, or (requiredRoot not empty) names another root.
Target buildTarget(const QStringList &pairs, const QString &requiredRoot, const QString &fileName);

// The target without the elements that the text of entities gives the
// document (a store keeps the references as written), after finding each
// of them unchanged in the target under the element that refers to the
// entity. Throws, naming the entity, when one was changed, moved or
// removed: they are read-only.
Target withoutEntityElements(const DomDocument &doc, const Target &target, const QString &fileName);

// Whether the document holds exactly what target says (same paths and values,
// same order of child elements, the namespaces the entries give; attribute
// order free). Otherwise *where names the first difference, and *why says
// what differs when it is a namespace (else it is left empty).
bool matchesTarget(const DomDocument &doc, const Target &target, QString *where, QString *why);

} // namespace tarnwell::xml
