#pragma once

#include "NameHash.h"

#include "XmlDocument.h"
#include "XmlLexer.h"
#include "XmlText.h"

#include <QHash>
#include <QStringList>
#include <vector>

// Storing a pair list into a document by patching its text.
namespace tarnwell::xml {

struct TargetAttribute
{
    QString segment; // "@name" as in the pair list
    QString value;
    bool xsi = false; // "@noNamespaceSchemaLocation" in the schema-instance namespace
};

struct TargetElement
{
    QString name;
    QString value;
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

// Reads a pair list. Throws when it has no "DAT" entry, names an invalid XML
// name or an index that cannot be read, gives an attribute a child, or
// (requiredRoot not empty) names another root.
Target buildTarget(const QStringList &pairs, const QString &requiredRoot, const QString &fileName);

// Whether the document holds exactly what target says (same paths and values,
// same order of child elements; attribute order free). Otherwise *where
// names the first difference.
bool matchesTarget(const DomDocument &doc, const Target &target, QString *where);

// The new text of an existing document that holds target, in the document's
// own encoding. Everything target does not change keeps its bytes.
QByteArray patchDocument(const EncodedText &text, const LexDocument &lex, const DomDocument &dom,
                         const Target &target, const QString &fileName);

// A stored text, found to hold exactly its target, and its parse.
struct CheckedStore
{
    QByteArray bytes;
    DomDocument dom;
};

// The text of an existing document (or, when lex is null, of a new one) that
// holds target, parsed again and compared with target: throws, naming
// fileName and the first difference, when the result is not well-formed or
// would not read back as target.
CheckedStore storeChecked(const EncodedText &text, const LexDocument *lex, const DomDocument &dom, const Target &target,
                          const QString &fileName);

// The text of a new document holding target: UTF-8, an XML declaration, LF.
// Throws, naming fileName, when a name has a prefix (other than "xml"): a new
// document has no namespace to bind it to.
QByteArray newDocument(const Target &target, const QString &fileName = QString());

} // namespace tarnwell::xml
