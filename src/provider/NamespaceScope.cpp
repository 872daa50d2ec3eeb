// The namespaces new names are in where they are written, and the declarations that bind them.
#include "NamespaceScope.h"

#include "PathSyntax.h"
#include "StoreCommon.h"

#include <algorithm>

namespace tarnwell::xml::store {

NamespaceScope::NamespaceScope(const DomDocument &dom, const QString &fileName)
    : m_dom(dom), m_fileName(fileName)
{
    m_hasDefaultNamespace = std::any_of(dom.namespaces.begin(), dom.namespaces.end(),
                                        [](const DomNamespace &ns) { return ns.prefix.isEmpty(); });
}

// What prefix means where new text goes: inside the document element
// scope (-1: none), below the declarations declared. Null when unbound.
const QString *NamespaceScope::lookup(int scope, const Declared &declared, QStringView prefix) const
{
    for (auto it = declared.rbegin(); it != declared.rend(); ++it) {
        if (!it->onExisting && it->prefix == prefix)
            return &it->uri;
    }
    if (const QString *uri = namespaceInScope(m_dom, scope, prefix)) // "xml" too, with no scope
        return uri;
    for (auto it = declared.rbegin(); it != declared.rend(); ++it) {
        if (it->onExisting && it->prefix == prefix)
            return &it->uri;
    }
    return nullptr;
}

// The start tag of a new element that goes where lookup describes,
// without its closing ">".
QByteArray NamespaceScope::startOfNewElement(const TargetElement &t, int scope, Declared &declared) const
{
    QByteArray out = '<' + t.name.toUtf8();
    if (t.ns.isEmpty()) {
        declareDefault(t.name, scope, declared, &out);
        declarePrefix(t.name, false, scope, declared, &out, false);
    } else {
        declareGiven(t.name, false, t.ns, scope, declared, &out, false);
    }
    std::vector<size_t> all(t.attributes.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    return out + newAttributes(t, all, scope, declared, &out, false);
}

// The text of the attributes which of t (with leading blanks), and the
// declarations their prefixes need appended to *declarations. The schema
// location comes last: it takes a prefix bound to the schema-instance
// namespace there, or declares a free one ("xsi", else "xsi2"...), so it
// must know what the others declare.
QByteArray NamespaceScope::newAttributes(const TargetElement &t, const std::vector<size_t> &which, int scope,
                                         Declared &declared, QByteArray *declarations, bool onExisting) const
{
    std::vector<QByteArray> names(t.attributes.size());
    for (size_t i : which) {
        const TargetAttribute &a = t.attributes[i];
        if (!a.xsi) {
            if (a.ns.isEmpty())
                declarePrefix(a.segment, true, scope, declared, declarations, onExisting);
            else
                declareGiven(a.segment, true, a.ns, scope, declared, declarations, onExisting);
            names[i] = a.segment.mid(1).toUtf8();
        }
    }
    for (size_t i : which) {
        if (t.attributes[i].xsi)
            names[i] = schemaInstancePrefix(scope, declared, declarations, onExisting) + ":noNamespaceSchemaLocation";
    }
    checkAttributeNames(t, scope, declared);
    QByteArray out;
    for (size_t i : which)
        out += ' ' + names[i] + "=\"" + escapeXml(t.attributes[i].value, '"') + '"';
    return out;
}

QByteArray NamespaceScope::schemaInstancePrefix(int scope, Declared &declared, QByteArray *declarations,
                                                bool onExisting) const
{
    // Declarations of the schema-instance namespace, innermost first:
    // the first whose prefix still means it here.
    auto meansSchemaInstance = [&](const QString &prefix) {
        const QString *uri = prefix.isEmpty() ? nullptr : lookup(scope, declared, prefix);
        return uri && *uri == kXsiNamespace;
    };
    for (auto it = declared.rbegin(); it != declared.rend(); ++it) {
        if (it->uri == kXsiNamespace && meansSchemaInstance(it->prefix))
            return it->prefix.toUtf8();
    }
    for (auto it = m_dom.namespaces.rbegin(); it != m_dom.namespaces.rend(); ++it) {
        if (it->uri == kXsiNamespace && meansSchemaInstance(it->prefix))
            return it->prefix.toUtf8();
    }
    QString prefix = QStringLiteral("xsi");
    for (int k = 2; lookup(scope, declared, prefix); ++k)
        prefix = QStringLiteral("xsi%1").arg(k);
    declare(prefix, schemaInstanceNamespace(), declared, declarations, onExisting);
    return prefix.toUtf8();
}

// Two attributes of one element whose prefixes are bound to the same
// namespace are the same attribute, which an element cannot hold twice.
void NamespaceScope::checkAttributeNames(const TargetElement &t, int scope, const Declared &declared) const
{
    struct Expanded
    {
        const QString *uri;
        QStringView local;
        const QString *segment;
    };
    std::vector<Expanded> seen;
    for (const TargetAttribute &a : t.attributes) {
        const QStringView qname = QStringView(a.segment).mid(1);
        const qsizetype colon = qname.indexOf(u':');
        Expanded e{nullptr, qname.mid(colon + 1), &a.segment};
        if (a.xsi) {
            e.uri = &schemaInstanceNamespace();
        } else if (colon > 0) {
            e.uri = lookup(scope, declared, qname.left(colon));
        }
        if (!e.uri)
            continue;
        for (const Expanded &other : seen) {
            if (*other.uri == *e.uri && other.local == e.local) {
                throw storeError(m_fileName, QStringLiteral("the element %1 would have the attributes %2 and %3, "
                                                            "which name the same attribute (%4 in the namespace "
                                                            "%5); an element can hold only one of them.")
                                                 .arg(quoteForMessage(t.name), quoteForMessage(*other.segment),
                                                      quoteForMessage(a.segment), quoteForMessage(e.local.toString()),
                                                      quoteForMessage(*e.uri)));
            }
        }
        seen.push_back(e);
    }
}

// A name ("prefix:local", or "@prefix:local" for an attribute) that is
// written where its prefix is not bound gets a declaration of the prefix,
// appended to *out and to declared. The namespace is the one the prefix
// has where the document already uses that name, else its first
// declaration in the document: names in a pair list carry no namespace,
// and this is the one they were read with.
void NamespaceScope::declarePrefix(const QString &name, bool attribute, int scope, Declared &declared,
                                   QByteArray *out, bool onExisting) const
{
    const QStringView qname = attribute ? QStringView(name).mid(1) : QStringView(name);
    const qsizetype colon = qname.indexOf(u':');
    if (colon < 0 && !(attribute && qname == u"xmlns"))
        return;
    const QStringView prefix = colon < 0 ? qname : qname.left(colon);
    const QString what = attribute ? QStringLiteral("attribute") : QStringLiteral("element");
    if (attribute && prefix == u"xmlns") {
        throw storeError(m_fileName, QStringLiteral("the %1 %2 would be a namespace declaration, which the data "
                                                    "does not show; change declarations in the XML View instead.")
                                         .arg(what, quoteForMessage(name)));
    }
    if (lookup(scope, declared, prefix))
        return;
    const QString *uri = uriToDeclare(prefix, name, attribute);
    if (!uri) {
        throw storeError(m_fileName, QStringLiteral("the %1 %2 has the prefix %3, which no namespace declaration "
                                                    "in the document binds; declare it in the XML View first.")
                                         .arg(what, quoteForMessage(name), quoteForMessage(prefix.toString())));
    }
    declare(prefix.toString(), *uri, declared, out, onExisting);
}

// A new name ("prefix:local", "local", or "@prefix:local" for an
// attribute) whose entry gives its namespace uri: the prefix (or, without
// one, the default namespace) is declared where it does not mean uri yet.
// A prefix bound to another namespace there is refused: declaring it again
// would move the names below that use it.
void NamespaceScope::declareGiven(const QString &name, bool attribute, const QString &uri, int scope,
                                  Declared &declared, QByteArray *out, bool onExisting) const
{
    const QStringView qname = attribute ? QStringView(name).mid(1) : QStringView(name);
    const qsizetype colon = qname.indexOf(u':');
    const QString what = attribute ? QStringLiteral("attribute") : QStringLiteral("element");
    if (colon < 0) {
        const QString *current = lookup(scope, declared, QStringView());
        if ((current ? *current : QString()) == uri)
            return;
        out->append(" xmlns=\"").append(escapeXml(uri, '"')).append('"');
        declared.push_back({QString(), uri, false});
        return;
    }
    const QStringView prefix = qname.left(colon);
    if (attribute && prefix == u"xmlns") {
        throw storeError(m_fileName, QStringLiteral("the %1 %2 would be a namespace declaration, which the data "
                                                    "does not show; change declarations in the XML View instead.")
                                         .arg(what, quoteForMessage(name)));
    }
    if (const QString *bound = lookup(scope, declared, prefix)) {
        if (*bound == uri)
            return;
        throw storeError(m_fileName, QStringLiteral("the new %1 %2 is to be in the namespace %3, but its prefix %4 "
                                                    "means %5 where it goes; give it a prefix that is free there "
                                                    "or bound to %3.")
                                         .arg(what, quoteForMessage(name), quoteForMessage(uri),
                                              quoteForMessage(prefix.toString()), quoteForMessage(*bound)));
    }
    declare(prefix.toString(), uri, declared, out, onExisting);
}

// An unprefixed new element is in the default namespace where it goes.
// When the document never uses its name in that namespace but does in
// another (declared with "xmlns" below the root, say, and a sibling of
// that element is added), it declares the one of the name's first use.
void NamespaceScope::declareDefault(const QString &name, int scope, Declared &declared, QByteArray *out) const
{
    if (!m_hasDefaultNamespace || name.contains(u':'))
        return;
    const QString *current = lookup(scope, declared, QStringView());
    const QStringList &uses = defaultNamespacesOf(name);
    if (uses.isEmpty() || uses.contains(current ? *current : QString()))
        return;
    out->append(" xmlns=\"").append(escapeXml(uses.first(), '"')).append('"');
    declared.push_back({QString(), uses.first(), false});
}

// The default namespaces (empty: none) that the document's elements of
// an unprefixed name are in, each once, in document order.
const QStringList &NamespaceScope::defaultNamespacesOf(const QString &name) const
{
    const auto known = m_defaultUses.find(name);
    if (known != m_defaultUses.end())
        return known->second;
    QStringList uses;
    for (size_t i = 0; i < m_dom.elements.size(); ++i) {
        if (m_dom.elements[i].name != name)
            continue;
        const QString *uri = namespaceInScope(m_dom, static_cast<int>(i), QStringView());
        const QString use = uri ? *uri : QString();
        if (!uses.contains(use))
            uses.append(use);
    }
    return m_defaultUses.emplace(name, std::move(uses)).first->second;
}

void NamespaceScope::declare(const QString &prefix, const QString &uri, Declared &declared, QByteArray *out,
                             bool onExisting)
{
    out->append(" xmlns:").append(prefix.toUtf8()).append("=\"").append(escapeXml(uri, '"')).append('"');
    declared.push_back({prefix, uri, onExisting});
}

// The namespace for an unbound prefix, as declarePrefix describes it, or
// null when nothing in the document declares the prefix (but "xsi").
const QString *NamespaceScope::uriToDeclare(QStringView prefix, const QString &name, bool attribute) const
{
    const QString key = prefix.toString() + QLatin1Char(' ') + name;
    const auto known = m_declareCache.find(key);
    if (known != m_declareCache.end())
        return known->second;
    const QString *uri = nullptr;
    for (size_t i = 0; i < m_dom.elements.size() && !uri; ++i) {
        const DomElement &e = m_dom.elements[i];
        const bool uses = attribute ? std::any_of(e.attributes.begin(), e.attributes.end(),
                                                  [&](const DomAttribute &a) { return a.segment == name; })
                                    : e.name == name;
        if (uses)
            uri = namespaceInScope(m_dom, static_cast<int>(i), prefix);
    }
    for (size_t i = 0; i < m_dom.namespaces.size() && !uri; ++i) {
        if (m_dom.namespaces[i].prefix == prefix)
            uri = &m_dom.namespaces[i].uri;
    }
    // "xsi" nobody declares is the schema-instance prefix ("xsi:type",
    // "xsi:nil"), as the schema location declares it.
    if (!uri && prefix == u"xsi")
        uri = &schemaInstanceNamespace();
    m_declareCache.emplace(key, uri);
    return uri;
}

} // namespace tarnwell::xml::store
