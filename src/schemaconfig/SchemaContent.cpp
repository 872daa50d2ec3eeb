#include "SchemaContent.h"

#include "Error.h"
#include "PathSyntax.h"

#include <xercesc/framework/psvi/XSAttributeDeclaration.hpp>
#include <xercesc/framework/psvi/XSAttributeUse.hpp>
#include <xercesc/framework/psvi/XSComplexTypeDefinition.hpp>
#include <xercesc/framework/psvi/XSModelGroup.hpp>
#include <xercesc/framework/psvi/XSNamedMap.hpp>
#include <xercesc/framework/psvi/XSParticle.hpp>
#include <xercesc/framework/psvi/XSWildcard.hpp>

#include <algorithm>

namespace tarnwell {

namespace {

const QString kXmlNamespace = QStringLiteral("http://www.w3.org/XML/1998/namespace");
const QString kSchemaNamespace = QStringLiteral("http://www.w3.org/2001/XMLSchema");

template<typename T>
std::vector<T *> components(xc::XSModel *model, xc::XSConstants::COMPONENT_TYPE type)
{
    std::vector<T *> out;
    if (xc::XSNamedMap<xc::XSObject> *map = model ? model->getComponents(type) : nullptr) {
        for (XMLSize_t i = 0; i < map->getLength(); ++i)
            out.push_back(static_cast<T *>(map->item(i)));
    }
    return out;
}

bool isUrType(const xc::XSTypeDefinition *type)
{
    const QString name = fromXml(type->getName());
    return fromXml(type->getNamespace()) == kSchemaNamespace &&
           (name == QLatin1String("anyType") || name == QLatin1String("anySimpleType"));
}

} // namespace

QString QuotedNames(const QStringList &names, int most)
{
    QStringList quoted;
    for (qsizetype i = 0; i < names.size() && i < most; ++i)
        quoted.append(quoteForMessage(names[i]));
    QString text = quoted.join(QStringLiteral(", "));
    if (names.size() > most)
        text += QStringLiteral(" and %1 more").arg(names.size() - most);
    return text;
}

QStringList SchemaNamespaces(xc::XSModel *model)
{
    QStringList out;
    if (xc::StringList *list = model ? model->getNamespaces() : nullptr) {
        for (XMLSize_t i = 0; i < list->size(); ++i) {
            const QString ns = fromXml(list->elementAt(i));
            if (!ns.isEmpty() && ns != kSchemaNamespace && !out.contains(ns))
                out.append(ns);
        }
    }
    return out;
}

SchemaContent::SchemaContent(xc::XSModel *model, QString targetNamespace, PrefixTable prefixes)
    : m_model(model), m_targetNamespace(std::move(targetNamespace)), m_prefixes(std::move(prefixes))
{
    m_globals = components<xc::XSElementDeclaration>(model, xc::XSConstants::ELEMENT_DECLARATION);
    m_globalAttributes = components<xc::XSAttributeDeclaration>(model, xc::XSConstants::ATTRIBUTE_DECLARATION);
    for (xc::XSElementDeclaration *d : m_globals) {
        if (xc::XSElementDeclaration *head = d->getSubstitutionGroupAffiliation())
            m_members[head].push_back(d);
    }
    for (auto *type : components<xc::XSTypeDefinition>(model, xc::XSConstants::TYPE_DEFINITION)) {
        if (type->getTypeCategory() != xc::XSTypeDefinition::COMPLEX_TYPE)
            continue;
        short methods = 0;
        xc::XSTypeDefinition *step = type;
        for (int guard = 0; guard < 1000; ++guard) {
            xc::XSTypeDefinition *base = step->getBaseType();
            if (!base || base == step)
                break;
            methods |= static_cast<short>(step->getTypeCategory() == xc::XSTypeDefinition::COMPLEX_TYPE
                           ? static_cast<xc::XSComplexTypeDefinition *>(step)->getDerivationMethod()
                           : xc::XSConstants::DERIVATION_RESTRICTION);
            m_derived[base].push_back({type, methods});
            step = base;
        }
    }
}

SchemaContent::~SchemaContent() = default;

int SchemaContent::idOf(const xc::XSElementDeclaration *decl)
{
    const auto [it, added] = m_ids.insert({decl, static_cast<int>(m_ids.size())});
    if (added)
        m_contents.emplace_back();
    return it->second;
}

void SchemaContent::noteUnprefixed(const QString &ns)
{
    if (!m_unprefixed.insert(ns).second)
        return;
    m_notes.append(QStringLiteral("Names in the namespace %1 that need a prefix are left out: no document declares "
                                  "one for it and no --prefix P=%2 names one.")
                       .arg(quoteForMessage(ns, 200), ns));
}

QString SchemaContent::elementName(const QString &ns, const QString &local, bool quiet)
{
    if (ns.isEmpty())
        return local;
    if (ns == kXmlNamespace)
        return QStringLiteral("xml:") + local;
    if (const auto it = m_prefixes.element.find(ns); it != m_prefixes.element.end())
        return it->second.isEmpty() ? local : it->second + u':' + local;
    if (ns == m_targetNamespace)
        return local; // as documents that make it their default namespace write it
    if (!quiet)
        noteUnprefixed(ns);
    return {};
}

QString SchemaContent::attributeName(const QString &ns, const QString &local)
{
    if (ns.isEmpty())
        return local;
    if (ns == kXmlNamespace)
        return QStringLiteral("xml:") + local;
    if (const auto it = m_prefixes.attribute.find(ns); it != m_prefixes.attribute.end())
        return it->second + u':' + local;
    // A qualified attribute always carries a prefix in a document, even in
    // the default namespace's scope.
    noteUnprefixed(ns);
    return {};
}

QString SchemaContent::pathName(const xc::XSElementDeclaration *decl) const
{
    const QString ns = fromXml(decl->getNamespace());
    const QString local = fromXml(decl->getName());
    if (const auto it = m_prefixes.element.find(ns); !ns.isEmpty() && it != m_prefixes.element.end())
        return it->second.isEmpty() ? local : it->second + u':' + local;
    return local;
}

xc::XSElementDeclaration *SchemaContent::globalNamed(const QString &name)
{
    if (!m_globalByNameBuilt) {
        m_globalByNameBuilt = true;
        for (xc::XSElementDeclaration *d : m_globals) {
            if (d->getAbstract())
                continue;
            const QString n = elementName(fromXml(d->getNamespace()), fromXml(d->getName()), true);
            if (!n.isEmpty())
                m_globalByName.insert({n, d});
        }
    }
    const auto it = m_globalByName.find(name);
    return it == m_globalByName.end() ? nullptr : it->second;
}

QStringList SchemaContent::rootCandidateNames() const
{
    QStringList names;
    for (const xc::XSElementDeclaration *d : m_globals) {
        if (fromXml(d->getNamespace()) == m_targetNamespace && !d->getAbstract())
            names.append(fromXml(d->getName()));
    }
    return names;
}

xc::XSElementDeclaration *SchemaContent::startElement(const QString &root, const QString &quotedFile)
{
    std::vector<xc::XSElementDeclaration *> candidates;
    for (xc::XSElementDeclaration *d : m_globals) {
        if (fromXml(d->getNamespace()) == m_targetNamespace && !d->getAbstract())
            candidates.push_back(d);
    }
    const QStringList names = rootCandidateNames();
    const QString list = QuotedNames(names);
    if (!root.isEmpty()) {
        for (xc::XSElementDeclaration *d : candidates) {
            if (fromXml(d->getName()) == root || pathName(d) == root)
                return d;
        }
        throw Error(QStringLiteral("%1 declares no global element %2; its global elements are: %3.")
                        .arg(quotedFile, quoteForMessage(root), names.isEmpty() ? QStringLiteral("none") : list),
                    Error::Kind::InvalidArgument);
    }
    if (candidates.size() == 1)
        return candidates.front();
    if (candidates.empty())
        throw Error(QStringLiteral("%1 declares no global element to start from.").arg(quotedFile));
    throw Error(QStringLiteral("%1 declares %2 global elements (%3); name the one to start from.")
                    .arg(quotedFile)
                    .arg(candidates.size())
                    .arg(list),
                Error::Kind::InvalidArgument);
}

bool SchemaContent::allows(xc::XSWildcard *wildcard, const QString &ns)
{
    if (wildcard->getConstraintType() == xc::XSWildcard::NSCONSTRAINT_ANY)
        return true;
    bool listed = false;
    if (xc::StringList *list = wildcard->getNsConstraintList()) {
        for (XMLSize_t i = 0; i < list->size() && !listed; ++i)
            listed = fromXml(list->elementAt(i)) == ns;
    }
    if (wildcard->getConstraintType() == xc::XSWildcard::NSCONSTRAINT_NOT)
        return !listed && !ns.isEmpty(); // ##other: another namespace, and not none
    return listed;
}

// "@name" for each attribute use of the type: those an extension takes from
// its base first, in the base's order, then its own; then the global
// attributes a strict or lax attribute wildcard admits.
QStringList SchemaContent::attributeNames(xc::XSComplexTypeDefinition *complex)
{
    QStringList names;
    xc::XSTypeDefinition *base = complex->getBaseType();
    if (complex->getDerivationMethod() == xc::XSConstants::DERIVATION_EXTENSION && base && base != complex &&
        base->getTypeCategory() == xc::XSTypeDefinition::COMPLEX_TYPE)
        names = attributeNames(static_cast<xc::XSComplexTypeDefinition *>(base));
    const auto add = [&](xc::XSAttributeDeclaration *d) {
        const QString name = attributeName(fromXml(d->getNamespace()), fromXml(d->getName()));
        if (!name.isEmpty() && !names.contains(u'@' + name))
            names.append(u'@' + name);
    };
    if (const xc::XSAttributeUseList *uses = complex->getAttributeUses()) {
        for (XMLSize_t i = 0; i < uses->size(); ++i)
            add(uses->elementAt(i)->getAttrDeclaration());
    }
    if (xc::XSWildcard *wildcard = complex->getAttributeWildcard();
        wildcard && wildcard->getProcessContents() != xc::XSWildcard::PC_SKIP) {
        for (xc::XSAttributeDeclaration *d : m_globalAttributes) {
            if (allows(wildcard, fromXml(d->getNamespace())))
                add(d);
        }
    }
    return names;
}

// The elements a particle allows, in the order they are written; single
// stays true while every particle on the way may occur only once.
void SchemaContent::collect(const xc::XSParticle *particle, bool single, std::vector<Entry> &out)
{
    if (!particle->getMaxOccursUnbounded() && particle->getMaxOccurs() == 0)
        return;
    single = single && !particle->getMaxOccursUnbounded() && particle->getMaxOccurs() == 1;
    auto *p = const_cast<xc::XSParticle *>(particle);
    switch (particle->getTermType()) {
    case xc::XSParticle::TERM_ELEMENT:
        addElement(p->getElementTerm(), single, out);
        break;
    case xc::XSParticle::TERM_MODELGROUP:
        if (const xc::XSParticleList *parts = p->getModelGroupTerm()->getParticles()) {
            for (XMLSize_t i = 0; i < parts->size(); ++i)
                collect(parts->elementAt(i), single, out);
        }
        break;
    case xc::XSParticle::TERM_WILDCARD: {
        // A skip wildcard says nothing of what stands there; a strict or lax
        // one admits the global elements of the namespaces it allows.
        xc::XSWildcard *wildcard = p->getWildcardTerm();
        if (!wildcard || wildcard->getProcessContents() == xc::XSWildcard::PC_SKIP)
            break;
        for (xc::XSElementDeclaration *d : m_globals) {
            if (!d->getAbstract() && allows(wildcard, fromXml(d->getNamespace()))) {
                const QString name = elementName(fromXml(d->getNamespace()), fromXml(d->getName()));
                if (!name.isEmpty())
                    out.push_back({name, d, single});
            }
        }
        break;
    }
    default:
        break;
    }
}

// An element where it may stand, followed by the members of its
// substitution group, which may stand in its place.
void SchemaContent::addElement(xc::XSElementDeclaration *decl, bool single, std::vector<Entry> &out)
{
    if (!decl->getAbstract()) {
        const QString name = elementName(fromXml(decl->getNamespace()), fromXml(decl->getName()));
        if (!name.isEmpty())
            out.push_back({name, decl, single});
    }
    if (decl->isDisallowedSubstitution(xc::XSConstants::DERIVATION_SUBSTITUTION))
        return;
    const auto members = m_members.find(decl);
    if (members == m_members.end())
        return;
    for (xc::XSElementDeclaration *member : members->second)
        addElement(member, single, out);
}

// The declared type, then the types derived from it that a document may
// choose with xsi:type: neither abstract nor blocked by the element or the
// declared type. The ur-type is left alone: every type derives from it.
std::vector<xc::XSTypeDefinition *> SchemaContent::typesFor(xc::XSElementDeclaration *decl)
{
    std::vector<xc::XSTypeDefinition *> types;
    xc::XSTypeDefinition *declared = decl->getTypeDefinition();
    if (!declared)
        return types;
    types.push_back(declared);
    if (isUrType(declared))
        return types;
    const auto derived = m_derived.find(declared);
    if (derived == m_derived.end())
        return types;
    short blocked = decl->getDisallowedSubstitutions();
    if (declared->getTypeCategory() == xc::XSTypeDefinition::COMPLEX_TYPE)
        blocked |= static_cast<xc::XSComplexTypeDefinition *>(declared)->getProhibitedSubstitutions();
    for (const auto &[type, methods] : derived->second) {
        if ((methods & blocked) != 0 || static_cast<xc::XSComplexTypeDefinition *>(type)->getAbstract())
            continue;
        types.push_back(type);
    }
    return types;
}

void SchemaContent::addTypeContent(xc::XSTypeDefinition *type, ElementContent &content, std::map<QString, bool> &single,
                                   std::unordered_set<const void *> &listed)
{
    if (type->getTypeCategory() != xc::XSTypeDefinition::COMPLEX_TYPE)
        return;
    auto *complex = static_cast<xc::XSComplexTypeDefinition *>(type);
    for (const QString &name : attributeNames(complex)) {
        if (!content.attributes.contains(name))
            content.attributes.append(name);
    }
    std::vector<Entry> entries;
    if (const xc::XSParticle *particle = complex->getParticle())
        collect(particle, true, entries);
    std::unordered_map<QString, int, NameHash> count;
    for (const Entry &e : entries)
        ++count[e.name];
    for (const Entry &e : entries) {
        const bool once = e.single && count[e.name] == 1;
        const auto [it, added] = single.insert({e.name, once});
        if (!added)
            it->second = it->second && once;
        if (listed.insert(e.decl).second)
            content.children.push_back({e.name, e.decl, once});
    }
}

const ElementContent &SchemaContent::of(xc::XSElementDeclaration *decl)
{
    const auto id = static_cast<size_t>(idOf(decl));
    if (m_contents[id])
        return *m_contents[id];
    auto content = std::make_unique<ElementContent>();
    std::map<QString, bool> single;
    std::unordered_set<const void *> listed; // a declaration's name is the same wherever it is allowed
    const std::vector<xc::XSTypeDefinition *> types = typesFor(decl);
    for (xc::XSTypeDefinition *type : types)
        addTypeContent(type, *content, single, listed);
    // A document chooses a derived type with xsi:type, so that attribute
    // belongs wherever one may be chosen.
    if (types.size() > 1) {
        const auto xsi = m_prefixes.attribute.find(kXsiNamespace.toString());
        const QString name = QStringLiteral("@%1:type").arg(xsi != m_prefixes.attribute.end() ? xsi->second : QStringLiteral("xsi"));
        if (!content->attributes.contains(name))
            content->attributes.append(name);
    }
    for (AllowedChild &c : content->children)
        c.single = single[c.name];
    for (const auto &[name, once] : single) {
        if (once)
            content->singleNames.insert(name);
    }
    m_contents[id] = std::move(content);
    return *m_contents[id];
}

} // namespace tarnwell
