#pragma once

// What an element declaration of a schema allows below it, as names the way
// a path writes them: attributes and child elements, with the types derived
// from the declared one, substitution groups and wildcards taken in.
// Internal to the schema libraries.
#include "NameHash.h"
#include "SchemaLoader.h"

#include <QString>
#include <QStringList>

#include <xercesc/framework/psvi/XSElementDeclaration.hpp>
#include <xercesc/framework/psvi/XSWildcard.hpp>

#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tarnwell {

// Prefixes by namespace URI: for elements (an empty prefix writes the name
// plain, as under a default namespace) and for attributes (never empty).
// The first entry for a URI wins.
struct PrefixTable
{
    std::map<QString, QString> element;
    std::map<QString, QString> attribute;
};

// One element a content model allows: its name as a path writes it, its
// declaration, and whether it can stand only once under its parent.
struct AllowedChild
{
    QString name;
    xc::XSElementDeclaration *decl;
    bool single;
};

struct ElementContent
{
    QStringList attributes;              // "@name", in order
    std::vector<AllowedChild> children;  // in order; a name may come with several declarations
    std::unordered_set<QString, NameHash> singleNames; // the child names that stand at most once
};

// The names quoted and joined by commas, at most `most` of them, then
// "and N more".
QString QuotedNames(const QStringList &names, int most = 20);

// The namespace URIs the schema's components use.
QStringList SchemaNamespaces(xc::XSModel *model);

class SchemaContent
{
public:
    SchemaContent(xc::XSModel *model, QString targetNamespace, PrefixTable prefixes);
    ~SchemaContent();

    // A small number for decl, the same each time.
    int idOf(const xc::XSElementDeclaration *decl);
    // What decl allows below it; computed once per declaration.
    const ElementContent &of(xc::XSElementDeclaration *decl);

    // The path name of a declaration (plain when its namespace has no
    // prefix), for the root.
    QString pathName(const xc::XSElementDeclaration *decl) const;
    // The non-abstract global element whose path name is name; null if none.
    xc::XSElementDeclaration *globalNamed(const QString &name);
    // The global element to start from: root by its name or path name, or
    // the only non-abstract global element of the target namespace. Throws
    // an Error naming quotedFile and at most 20 of the candidates otherwise.
    xc::XSElementDeclaration *startElement(const QString &root, const QString &quotedFile);
    // Whether wildcard admits names of the namespace ns ("" for none).
    static bool allows(xc::XSWildcard *wildcard, const QString &ns);
    // The names of the elements startElement chooses from.
    QStringList rootCandidateNames() const;

    // One sentence per namespace whose names were left out for want of a
    // prefix.
    QStringList notes() const { return m_notes; }

private:
    struct Entry
    {
        QString name;
        xc::XSElementDeclaration *decl;
        bool single;
    };

    QString elementName(const QString &ns, const QString &local, bool quiet = false);
    QString attributeName(const QString &ns, const QString &local);
    void noteUnprefixed(const QString &ns);
    QStringList attributeNames(xc::XSComplexTypeDefinition *complex);
    void collect(const xc::XSParticle *particle, bool single, std::vector<Entry> &out);
    void addElement(xc::XSElementDeclaration *decl, bool single, std::vector<Entry> &out);
    void addTypeContent(xc::XSTypeDefinition *type, ElementContent &content, std::map<QString, bool> &single,
                        std::unordered_set<const void *> &listed);
    std::vector<xc::XSTypeDefinition *> typesFor(xc::XSElementDeclaration *decl);

    xc::XSModel *m_model;
    QString m_targetNamespace;
    PrefixTable m_prefixes;
    std::vector<xc::XSElementDeclaration *> m_globals;
    std::vector<xc::XSAttributeDeclaration *> m_globalAttributes;
    std::map<const xc::XSElementDeclaration *, std::vector<xc::XSElementDeclaration *>> m_members;
    // Complex types by the type they derive from, directly or not, with the
    // derivation methods on the way.
    std::map<const xc::XSTypeDefinition *, std::vector<std::pair<xc::XSTypeDefinition *, short>>> m_derived;
    std::unordered_map<const void *, int> m_ids;
    std::vector<std::unique_ptr<ElementContent>> m_contents; // by id
    std::unordered_map<QString, xc::XSElementDeclaration *, NameHash> m_globalByName;
    bool m_globalByNameBuilt = false;
    std::unordered_set<QString, NameHash> m_unprefixed;
    QStringList m_notes;
};

} // namespace tarnwell
