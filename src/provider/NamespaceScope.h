// The namespaces new names are in where they are written, and the declarations that bind them.
#pragma once

#include "NameHash.h"
#include "StoreTarget.h"
#include "XmlDocument.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace tarnwell::xml::store {

// A namespace declaration that new text makes ("xmlns:prefix" or, with
// an empty prefix, "xmlns"). One made on an existing element binds a
// prefix that was unbound there, so below it any declaration the
// document has comes first; one made on a new element comes before
// everything the document declares.
struct Declaration
{
    QString prefix;
    QString uri;
    bool onExisting = false;
};
using Declared = std::vector<Declaration>; // outermost first

// The prefixes and default namespaces that new element and attribute names
// need, in the scope of the document's elements and of the declarations
// new text above them makes.
class NamespaceScope
{
public:
    NamespaceScope(const DomDocument &dom, const QString &fileName);

    // What prefix means inside the document element scope, below declared.
    const QString *lookup(int scope, const Declared &declared, QStringView prefix) const;
    // The start tag of a new element with the declarations it needs.
    QByteArray startOfNewElement(const TargetElement &t, int scope, Declared &declared) const;
    // New attributes of t, their declarations appended to *declarations.
    QByteArray newAttributes(const TargetElement &t, const std::vector<size_t> &which, int scope, Declared &declared,
                             QByteArray *declarations, bool onExisting) const;

private:
    QByteArray schemaInstancePrefix(int scope, Declared &declared, QByteArray *declarations, bool onExisting) const;
    void checkAttributeNames(const TargetElement &t, int scope, const Declared &declared) const;
    void declarePrefix(const QString &name, bool attribute, int scope, Declared &declared, QByteArray *out,
                       bool onExisting) const;
    void declareGiven(const QString &name, bool attribute, const QString &uri, int scope, Declared &declared,
                      QByteArray *out, bool onExisting) const;
    void declareDefault(const QString &name, int scope, Declared &declared, QByteArray *out) const;
    const QStringList &defaultNamespacesOf(const QString &name) const;
    static void declare(const QString &prefix, const QString &uri, Declared &declared, QByteArray *out, bool onExisting);
    const QString *uriToDeclare(QStringView prefix, const QString &name, bool attribute) const;

    const DomDocument &m_dom;
    const QString &m_fileName;
    mutable NameMap<const QString *> m_declareCache; // prefix and name -> namespace to declare
    mutable NameMap<QStringList> m_defaultUses;       // unprefixed name -> its default namespaces
    bool m_hasDefaultNamespace = false;               // whether the document declares one anywhere
};

} // namespace tarnwell::xml::store
