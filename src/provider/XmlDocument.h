#pragma once

#include "Error.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// A parsed document in plain types: what the pair list needs of it and what
// the store matches against. Only XmlDocument.cpp talks to libxml2.
namespace tarnwell::xml {

struct DomAttribute
{
    QString segment; // "@name", "@prefix:name" or "@noNamespaceSchemaLocation"
    QByteArray qname; // as written in the start tag
    QString value;
    bool xsi = false; // the schema-instance noNamespaceSchemaLocation
};

struct DomElement
{
    QString name; // "name" or "prefix:name", as the segment shows it
    QString value;
    int parent = -1;
    std::vector<DomAttribute> attributes; // namespace declarations left out
    // Element children, in order: for an element the file writes, those it
    // writes itself (what a store patches); for one an entity's text holds,
    // all of them.
    std::vector<int> children;
    // All element children in document order, those from entities among
    // them; empty when that is children.
    std::vector<int> shownChildren;
    // The reference ("&name;", UTF-8) whose entity's text holds this
    // element; empty for an element the file writes.
    QByteArray entity;

    const std::vector<int> &shown() const { return shownChildren.empty() ? children : shownChildren; }
};

// A namespace declaration: "xmlns:prefix='uri'", or "xmlns='uri'" with an
// empty prefix (an empty uri there: no default namespace).
struct DomNamespace
{
    int element = -1; // the element whose start tag declares it
    QString prefix;
    QString uri;
};

struct DomDocument
{
    // The elements the file writes, in document order (0 is the root), then
    // those that the text of entities referred to holds, in the order the
    // references stand. Their elements are shown, and a store keeps them as
    // they are: only the references are in the file.
    std::vector<DomElement> elements;
    size_t fileElements = 0; // how many of elements the file writes
    std::vector<DomNamespace> namespaces; // by element, in document order
    QString encoding;                 // as declared; empty when not declared
    // References ("&name;", UTF-8) to the entities used in the content whose
    // text holds markup. A store must not drop or rewrite text that holds
    // one: the file holds their elements only as the reference.
    std::vector<QByteArray> markupEntityRefs;
};

// How deep elements may nest below the root: as deep as the parser reads.
inline constexpr int kMaxDepth = 256;
// The most attributes one element may have (libxml2 checks them for
// duplicates pair by pair, so many more would take minutes).
inline constexpr int kMaxAttributes = 10'000;
// The most text, in bytes, that the references to internal entities of one
// document may expand to in all (one entity referenced again and again, or
// entities of entities, would otherwise take the machine's memory).
inline constexpr qsizetype kMaxEntityText = 10'000'000;
// The most elements the text of entities may give a document in all (each
// reference to an entity gives its elements once more).
inline constexpr size_t kMaxEntityElements = 100'000;

// A document refused because it goes beyond one of the parser's limits (its
// nesting, the length of a name or of a text) rather than because it is
// malformed. limit() says which in plain words ("it nests elements deeper
// than 256 levels").
class ReadLimitError : public Error
{
public:
    ReadLimitError(QString description, QString limit)
        : Error(std::move(description), Kind::Provider), m_limit(std::move(limit))
    {
    }
    const QString &limit() const { return m_limit; }

private:
    QString m_limit;
};

// Parses bytes safely: no network, no external entities or DTDs, no entity
// substitution. Throws an Error naming fileName, with line and column, when
// the bytes are not a well-formed document, and a ReadLimitError when they
// exceed the parser's limits.
// expected, when given, holds the values the elements should have, in
// document order: an element whose value is its expected one shares that
// string instead of holding a copy. The result reads the same either way.
DomDocument parseDocument(const QByteArray &bytes, const QString &fileName,
                          const std::vector<const QString *> *expected = nullptr);

// The namespace URI that prefix is bound to at element (declared there or on
// an ancestor), or null when it is not bound there. "xml" is always bound; an
// empty prefix asks for the default namespace.
const QString *namespaceInScope(const DomDocument &doc, int element, QStringView prefix);

// The pair list of a document, in document order: each element, then its
// attributes, then its child elements.
// fromEntities, when not null, receives "&name;<TAB>path" for each element
// and attribute the text of an entity gives, in the list's order.
QStringList pairListOf(const DomDocument &doc, QStringList *fromEntities = nullptr);

// s without the XML white space (space, tab, CR, LF) at either end. The value
// of an element that holds elements is read this way: its blank text is
// layout, not data.
QString trimmedXml(const QString &s);

// Whether name is a valid qualified XML name.
bool isValidQName(const QString &name);

// Installs the entity loader that refuses every external resource. Called
// before any parse; safe to call again.
void installSafeEntityLoader();

} // namespace tarnwell::xml
