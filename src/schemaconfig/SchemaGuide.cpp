#include "SchemaGuide.h"

#include "SchemaContent.h"
#include "SchemaLoader.h"

#include <algorithm>

#include <xercesc/framework/psvi/XSAttributeDeclaration.hpp>
#include <xercesc/framework/psvi/XSAttributeUse.hpp>
#include <xercesc/framework/psvi/XSComplexTypeDefinition.hpp>
#include <xercesc/framework/psvi/XSModelGroup.hpp>
#include <xercesc/framework/psvi/XSParticle.hpp>
#include <xercesc/framework/psvi/XSSimpleTypeDefinition.hpp>

namespace tarnwell {

namespace {

const QString kSchemaNamespace = QStringLiteral("http://www.w3.org/2001/XMLSchema");

// The built-in types in words; a type not listed reads "a value".
QString builtinWords(const QString &name)
{
    static const struct
    {
        const char *name;
        const char *words;
    } words[] = {
        {"string", "text"},
        {"normalizedString", "text on one line"},
        {"token", "text without leading, trailing or double blanks"},
        {"boolean", "true or false"},
        {"decimal", "a decimal number"},
        {"float", "a number"},
        {"double", "a number"},
        {"integer", "a whole number"},
        {"long", "a whole number"},
        {"int", "a whole number"},
        {"short", "a whole number"},
        {"byte", "a whole number"},
        {"nonNegativeInteger", "a whole number, 0 or more"},
        {"positiveInteger", "a positive integer"},
        {"nonPositiveInteger", "a whole number, 0 or less"},
        {"negativeInteger", "a negative integer"},
        {"unsignedLong", "a whole number, 0 or more"},
        {"unsignedInt", "a whole number, 0 or more"},
        {"unsignedShort", "a whole number, 0 or more"},
        {"unsignedByte", "a whole number, 0 or more"},
        {"date", "a date, YYYY-MM-DD"},
        {"dateTime", "a date and time, YYYY-MM-DDThh:mm:ss"},
        {"time", "a time, hh:mm:ss"},
        {"duration", "a duration, such as P1Y2M3DT4H5M"},
        {"gYear", "a year, YYYY"},
        {"gYearMonth", "a year and month, YYYY-MM"},
        {"gMonth", "a month, --MM"},
        {"gMonthDay", "a month and day, --MM-DD"},
        {"gDay", "a day of the month, ---DD"},
        {"anyURI", "a URI"},
        {"QName", "a name, with a prefix if it has a namespace"},
        {"NOTATION", "a notation's name"},
        {"language", "a language tag, such as en-GB"},
        {"Name", "a name"},
        {"NCName", "a name without a colon"},
        {"ID", "a name no other ID of the document has"},
        {"IDREF", "the ID of an element of the document"},
        {"IDREFS", "IDs of elements of the document, separated by spaces"},
        {"ENTITY", "the name of an unparsed entity"},
        {"ENTITIES", "names of unparsed entities, separated by spaces"},
        {"NMTOKEN", "a name token: letters, digits, '.', '-', '_' or ':', without blanks"},
        {"NMTOKENS", "name tokens separated by spaces"},
        {"base64Binary", "binary data in Base64"},
        {"hexBinary", "binary data in hexadecimal digits"},
        {"anySimpleType", "any text"},
    };
    for (const auto &w : words) {
        if (name == QLatin1String(w.name))
            return QLatin1String(w.words);
    }
    return QStringLiteral("a value");
}

bool isBuiltin(const xc::XSTypeDefinition *type)
{
    return fromXml(type->getNamespace()) == kSchemaNamespace;
}

// The built-in type t is derived from (t itself when it is one).
xc::XSSimpleTypeDefinition *builtinOf(xc::XSSimpleTypeDefinition *t)
{
    for (int steps = 0; t && !isBuiltin(t) && steps < 1000; ++steps) {
        xc::XSTypeDefinition *base = t->getBaseType();
        if (!base || base == t || base->getTypeCategory() != xc::XSTypeDefinition::SIMPLE_TYPE)
            return nullptr;
        t = static_cast<xc::XSSimpleTypeDefinition *>(base);
    }
    return t && isBuiltin(t) ? t : nullptr;
}

QStringList stringList(xc::StringList *list)
{
    QStringList out;
    for (XMLSize_t i = 0; list && i < list->size(); ++i)
        out.append(fromXml(list->elementAt(i)));
    return out;
}

// The patterns t and the types it restricts (below the built-in one)
// define: each applies.
QStringList ownPatterns(xc::XSSimpleTypeDefinition *t)
{
    QStringList out;
    for (int steps = 0; t && !isBuiltin(t) && steps < 1000; ++steps) {
        if (t->getDefinedFacets() & xc::XSSimpleTypeDefinition::FACET_PATTERN) {
            for (const QString &p : stringList(t->getLexicalPattern())) {
                if (!out.contains(p))
                    out.append(p);
            }
        }
        xc::XSTypeDefinition *base = t->getBaseType();
        if (!base || base == t || base->getTypeCategory() != xc::XSTypeDefinition::SIMPLE_TYPE)
            break;
        t = static_cast<xc::XSSimpleTypeDefinition *>(base);
    }
    return out;
}

// A simple type in words, with the built-in type it comes from; the
// enumeration and facets go into rule. depth bounds lists of unions of lists.
QString simpleTypeWords(xc::XSSimpleTypeDefinition *t, NodeRule *rule, int depth = 0)
{
    if (!t || depth > 8)
        return QStringLiteral("a value");
    const bool list = t->getVariety() == xc::XSSimpleTypeDefinition::VARIETY_LIST && !isBuiltin(t);
    const bool oneOf = t->getVariety() == xc::XSSimpleTypeDefinition::VARIETY_UNION && !isBuiltin(t);
    xc::XSSimpleTypeDefinition *builtin = list || oneOf ? nullptr : builtinOf(t);
    QString words;
    if (list) {
        NodeRule item;
        words = QStringLiteral("a list of %1, separated by spaces").arg(simpleTypeWords(t->getItemType(), &item, depth + 1));
        if (rule && !item.choices.isEmpty())
            rule->limits.append(QStringLiteral("each item one of %1").arg(QuotedNames(item.choices, 30)));
        for (const QString &limit : std::as_const(item.limits)) {
            if (rule)
                rule->limits.append(QStringLiteral("each item %1").arg(limit));
        }
    } else if (oneOf) {
        // Each member as it is restricted; the values enumerations allow are
        // offered together.
        QStringList members;
        if (xc::XSSimpleTypeDefinitionList *memberTypes = t->getMemberTypes()) {
            for (XMLSize_t i = 0; i < memberTypes->size(); ++i) {
                NodeRule member;
                QString w = simpleTypeWords(memberTypes->elementAt(i), &member, depth + 1);
                if (!member.choices.isEmpty()) {
                    w = QStringLiteral("one of %1").arg(QuotedNames(member.choices, 30));
                    if (rule)
                        rule->choices.append(member.choices);
                }
                if (!member.limits.isEmpty())
                    w += QStringLiteral(" (%1)").arg(member.limits.join(QStringLiteral("; ")));
                if (!members.contains(w))
                    members.append(w);
            }
        }
        words = members.isEmpty() ? QStringLiteral("a value") : members.join(QStringLiteral(", or "));
    } else {
        const QString builtinName = builtin ? fromXml(builtin->getName()) : QString();
        words = builtin ? QStringLiteral("%1 (xs:%2)").arg(builtinWords(builtinName), builtinName) : QStringLiteral("a value");
        if (rule && builtinName == QLatin1String("boolean"))
            rule->choices = {QStringLiteral("true"), QStringLiteral("false")};
    }
    if (!isBuiltin(t) && t->getName() && !t->getAnonymous())
        words += QStringLiteral(", as the type %1 restricts it").arg(fromXml(t->getName()));
    if (!rule || isBuiltin(t))
        return words;
    const int facets = t->getDefinedFacets();
    auto facet = [&](xc::XSSimpleTypeDefinition::FACET f) { return fromXml(t->getLexicalFacetValue(f)); };
    // Xerces gives a type the facets of the built-in one it restricts too;
    // those the words say already are left out.
    auto has = [&](xc::XSSimpleTypeDefinition::FACET f) {
        if (!(facets & f))
            return false;
        return !(builtin && (builtin->getDefinedFacets() & f) && fromXml(builtin->getLexicalFacetValue(f)) == facet(f));
    };
    const QString unit = list ? QStringLiteral("items") : QStringLiteral("characters");
    if (facets & xc::XSSimpleTypeDefinition::FACET_ENUMERATION)
        rule->choices = stringList(t->getLexicalEnumeration());
    if (has(xc::XSSimpleTypeDefinition::FACET_LENGTH))
        rule->limits.append(QStringLiteral("exactly %1 %2").arg(facet(xc::XSSimpleTypeDefinition::FACET_LENGTH), unit));
    if (has(xc::XSSimpleTypeDefinition::FACET_MINLENGTH))
        rule->limits.append(QStringLiteral("at least %1 %2").arg(facet(xc::XSSimpleTypeDefinition::FACET_MINLENGTH), unit));
    if (has(xc::XSSimpleTypeDefinition::FACET_MAXLENGTH))
        rule->limits.append(QStringLiteral("at most %1 %2").arg(facet(xc::XSSimpleTypeDefinition::FACET_MAXLENGTH), unit));
    if (has(xc::XSSimpleTypeDefinition::FACET_MININCLUSIVE))
        rule->limits.append(QStringLiteral("at least %1").arg(facet(xc::XSSimpleTypeDefinition::FACET_MININCLUSIVE)));
    if (has(xc::XSSimpleTypeDefinition::FACET_MINEXCLUSIVE))
        rule->limits.append(QStringLiteral("more than %1").arg(facet(xc::XSSimpleTypeDefinition::FACET_MINEXCLUSIVE)));
    if (has(xc::XSSimpleTypeDefinition::FACET_MAXINCLUSIVE))
        rule->limits.append(QStringLiteral("at most %1").arg(facet(xc::XSSimpleTypeDefinition::FACET_MAXINCLUSIVE)));
    if (has(xc::XSSimpleTypeDefinition::FACET_MAXEXCLUSIVE))
        rule->limits.append(QStringLiteral("less than %1").arg(facet(xc::XSSimpleTypeDefinition::FACET_MAXEXCLUSIVE)));
    if (has(xc::XSSimpleTypeDefinition::FACET_TOTALDIGITS))
        rule->limits.append(QStringLiteral("at most %1 digits").arg(facet(xc::XSSimpleTypeDefinition::FACET_TOTALDIGITS)));
    if (has(xc::XSSimpleTypeDefinition::FACET_FRACTIONDIGITS))
        rule->limits.append(QStringLiteral("at most %1 digits after the decimal point")
                                .arg(facet(xc::XSSimpleTypeDefinition::FACET_FRACTIONDIGITS)));
    // The built-in type's own patterns are what its words say already.
    const QStringList inherent = builtin ? stringList(builtin->getLexicalPattern()) : QStringList();
    for (const QString &pattern : ownPatterns(t)) {
        if (!inherent.contains(pattern))
            rule->limits.append(QStringLiteral("matching the pattern %1").arg(pattern));
    }
    return words;
}

// What an element's type allows as its value.
QString elementValueWords(xc::XSElementDeclaration *decl, NodeRule &rule)
{
    xc::XSTypeDefinition *type = decl->getTypeDefinition();
    if (!type)
        return QStringLiteral("a value");
    if (type->getTypeCategory() == xc::XSTypeDefinition::SIMPLE_TYPE)
        return simpleTypeWords(static_cast<xc::XSSimpleTypeDefinition *>(type), &rule);
    auto *complex = static_cast<xc::XSComplexTypeDefinition *>(type);
    if (isBuiltin(complex))
        return QStringLiteral("any content (xs:anyType)");
    switch (complex->getContentType()) {
    case xc::XSComplexTypeDefinition::CONTENTTYPE_SIMPLE:
        return simpleTypeWords(complex->getSimpleType(), &rule);
    case xc::XSComplexTypeDefinition::CONTENTTYPE_EMPTY:
        return QStringLiteral("no value: the element is empty");
    case xc::XSComplexTypeDefinition::CONTENTTYPE_ELEMENT:
        return QStringLiteral("no text of its own, only child elements");
    case xc::XSComplexTypeDefinition::CONTENTTYPE_MIXED:
        return QStringLiteral("text among its child elements");
    }
    return QStringLiteral("a value");
}

// Whether particle p requires the element child wherever p is matched:
// -1 when p does not hold it, 0 when it is optional there, 1 when required.
int requiredIn(xc::XSParticle *p, const xc::XSElementDeclaration *child, int depth)
{
    if (!p || depth > 300)
        return -1;
    const bool optional = p->getMinOccurs() == 0;
    switch (p->getTermType()) {
    case xc::XSParticle::TERM_ELEMENT: {
        const xc::XSElementDeclaration *e = p->getElementTerm();
        if (e != child && !(e && fromXml(e->getName()) == fromXml(child->getName()) &&
                            fromXml(e->getNamespace()) == fromXml(child->getNamespace())))
            return -1;
        return optional ? 0 : 1;
    }
    case xc::XSParticle::TERM_MODELGROUP: {
        xc::XSModelGroup *group = p->getModelGroupTerm();
        xc::XSParticleList *particles = group ? group->getParticles() : nullptr;
        if (!particles)
            return -1;
        // In a sequence or all group one required place makes the child
        // required; in a choice every alternative must require it.
        const bool choice = group->getCompositor() == xc::XSModelGroup::COMPOSITOR_CHOICE && particles->size() > 1;
        int result = -1;
        bool everyAlternative = true;
        for (XMLSize_t i = 0; i < particles->size(); ++i) {
            const int found = requiredIn(particles->elementAt(i), child, depth + 1);
            everyAlternative = everyAlternative && found == 1;
            result = std::max(result, found);
        }
        if (result < 0)
            return -1;
        if (optional || (choice && !everyAlternative))
            return 0;
        return result;
    }
    default:
        return -1;
    }
}

} // namespace

struct SchemaGuide::Impl
{
    explicit Impl(const QString &file) : schemaFile(file), schema(file), stamps(schema.files()) {}
    QString schemaFile;
    LoadedSchema schema;
    FileStamps stamps;
    std::unique_ptr<SchemaContent> content;
    std::map<QString, QString> attributeNamespaces; // by prefix
};

SchemaGuide::SchemaGuide(const QString &schemaFile, const QList<std::pair<QString, QString>> &prefixes)
    : d(std::make_unique<Impl>(schemaFile))
{
    PrefixTable table;
    for (const auto &[prefix, uri] : prefixes) {
        table.element.insert({uri, prefix});
        if (!prefix.isEmpty()) {
            table.attribute.insert({uri, prefix});
            d->attributeNamespaces.insert({prefix, uri});
        }
    }
    d->content = std::make_unique<SchemaContent>(d->schema.model(), d->schema.targetNamespace(), std::move(table));
}

SchemaGuide::~SchemaGuide() = default;

QString SchemaGuide::file() const
{
    return d->schemaFile;
}

bool SchemaGuide::current() const
{
    return d->stamps.current();
}

NodeRule SchemaGuide::ruleFor(const QString &path)
{
    NodeRule rule;
    const QStringList segments = path.split(u'/');
    if (segments.isEmpty() || segments.front().startsWith(u'@'))
        return rule;
    xc::XSElementDeclaration *decl = d->content->globalNamed(segments.front());
    bool required = true; // the root
    for (qsizetype i = 1; decl && i < segments.size(); ++i) {
        const QString &segment = segments[i];
        if (segment.startsWith(u'@')) {
            if (i + 1 != segments.size())
                return rule;
            xc::XSTypeDefinition *type = decl->getTypeDefinition();
            if (!type || type->getTypeCategory() != xc::XSTypeDefinition::COMPLEX_TYPE)
                return rule;
            const QString qname = segment.mid(1);
            const qsizetype colon = qname.indexOf(u':');
            const QString local = colon < 0 ? qname : qname.mid(colon + 1);
            QString ns;
            if (qname.startsWith(QLatin1String("xml:"))) {
                ns = QStringLiteral("http://www.w3.org/XML/1998/namespace");
            } else if (colon >= 0) {
                const auto it = d->attributeNamespaces.find(qname.left(colon));
                if (it == d->attributeNamespaces.end())
                    return rule;
                ns = it->second;
            }
            auto *complex = static_cast<xc::XSComplexTypeDefinition *>(type);
            xc::XSAttributeUseList *uses = complex->getAttributeUses();
            for (XMLSize_t u = 0; uses && u < uses->size(); ++u) {
                xc::XSAttributeUse *use = uses->elementAt(u);
                xc::XSAttributeDeclaration *attribute = use->getAttrDeclaration();
                if (!attribute || fromXml(attribute->getName()) != local || fromXml(attribute->getNamespace()) != ns)
                    continue;
                rule.declared = true;
                rule.required = use->getRequired();
                rule.type = simpleTypeWords(attribute->getTypeDefinition(), &rule);
                return rule;
            }
            // An attribute wildcard admits it: as its global declaration
            // says, unless the wildcard skips checking it.
            xc::XSWildcard *any = complex->getAttributeWildcard();
            if (!any || !SchemaContent::allows(any, ns))
                return rule;
            rule.declared = true;
            if (any->getProcessContents() != xc::XSWildcard::PC_SKIP) {
                if (xc::XSAttributeDeclaration *global =
                        d->schema.model()->getAttributeDeclaration(toXml(local), ns.isEmpty() ? nullptr : toXml(ns))) {
                    rule.type = simpleTypeWords(global->getTypeDefinition(), &rule);
                    return rule;
                }
            }
            rule.type = QStringLiteral("any value, as a wildcard of the schema admits the attribute");
            return rule;
        }
        xc::XSElementDeclaration *child = nullptr;
        for (const AllowedChild &allowed : d->content->of(decl).children) {
            if (allowed.name == segment) {
                child = allowed.decl;
                break;
            }
        }
        if (!child)
            return rule;
        xc::XSTypeDefinition *type = decl->getTypeDefinition();
        const int found = type && type->getTypeCategory() == xc::XSTypeDefinition::COMPLEX_TYPE
                              ? requiredIn(static_cast<xc::XSComplexTypeDefinition *>(type)->getParticle(), child, 0)
                              : -1;
        required = found == 1;
        decl = child;
    }
    if (!decl)
        return rule;
    rule.declared = true;
    rule.required = required;
    rule.type = elementValueWords(decl, rule);
    return rule;
}

} // namespace tarnwell
