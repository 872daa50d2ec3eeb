#include "ConfigFromSchema.h"

#include "Error.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QUrl>

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/XMLGrammarPoolImpl.hpp>
#include <xercesc/framework/psvi/XSAttributeDeclaration.hpp>
#include <xercesc/framework/psvi/XSAttributeUse.hpp>
#include <xercesc/framework/psvi/XSComplexTypeDefinition.hpp>
#include <xercesc/framework/psvi/XSElementDeclaration.hpp>
#include <xercesc/framework/psvi/XSModel.hpp>
#include <xercesc/framework/psvi/XSModelGroup.hpp>
#include <xercesc/framework/psvi/XSNamedMap.hpp>
#include <xercesc/framework/psvi/XSParticle.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace tarnwell {

namespace {

namespace xc = XERCES_CPP_NAMESPACE;

QString fromXml(const XMLCh *s)
{
    return s ? QString::fromUtf16(s) : QString();
}

const XMLCh *toXml(const QString &s)
{
    return reinterpret_cast<const XMLCh *>(s.utf16());
}

const QString kXmlNamespace = QStringLiteral("http://www.w3.org/XML/1998/namespace");

// Xerces counts its initializations, so nested users are fine.
struct XercesRuntime
{
    XercesRuntime()
    {
        try {
            xc::XMLPlatformUtils::Initialize();
        } catch (const xc::XMLException &e) {
            throw Error(QStringLiteral("The XML Schema reader cannot start: %1").arg(fromXml(e.getMessage())));
        }
    }
    ~XercesRuntime() { xc::XMLPlatformUtils::Terminate(); }
    XercesRuntime(const XercesRuntime &) = delete;
    XercesRuntime &operator=(const XercesRuntime &) = delete;
};

// Opens local files only; any other URL a schema names (an include, an
// import, an external entity) is refused, so reading never touches the
// network. Xerces' own resolution is switched off, so what this leaves
// unresolved stays unread.
class LocalFilesOnly : public xc::XMLEntityResolver
{
public:
    QString refused; // the first URL turned away

    xc::InputSource *resolveEntity(xc::XMLResourceIdentifier *id) override
    {
        const QString system = fromXml(id->getSystemId());
        if (system.isEmpty())
            return nullptr;
        const QString base = fromXml(id->getBaseURI());
        QUrl baseUrl(base);
        if (baseUrl.scheme().size() <= 1) // none, or a drive letter
            baseUrl = QUrl::fromLocalFile(base);
        QUrl url(system);
        if (url.scheme().size() <= 1) {
            // A file name: absolute as it stands, else beside the schema that
            // names it (not in the working folder).
            if (QDir::isAbsolutePath(system))
                url = QUrl::fromLocalFile(system);
            else if (baseUrl.isLocalFile())
                url = QUrl::fromLocalFile(QFileInfo(QFileInfo(baseUrl.toLocalFile()).dir(), system).absoluteFilePath());
            else
                url = baseUrl.resolved(QUrl(system));
        }
        if (!url.isLocalFile()) {
            if (refused.isEmpty())
                refused = system;
            return nullptr;
        }
        return new xc::LocalFileInputSource(toXml(url.toLocalFile()));
    }
};

class FirstError : public xc::ErrorHandler
{
public:
    bool seen = false;
    QString systemId, message;
    XMLFileLoc line = 0, column = 0;

    void warning(const xc::SAXParseException &) override {}
    void error(const xc::SAXParseException &e) override { note(e); }
    void fatalError(const xc::SAXParseException &e) override { note(e); }
    void resetErrors() override {}

private:
    void note(const xc::SAXParseException &e)
    {
        if (seen)
            return;
        seen = true;
        systemId = fromXml(e.getSystemId());
        message = fromXml(e.getMessage());
        line = e.getLineNumber();
        column = e.getColumnNumber();
    }
};

// A path of the configuration being built, with what lies under it.
struct Shape
{
    bool single = true;
    QStringList attributes; // "@name", in order
    QStringList children;   // element names, in order
    std::map<QString, std::unique_ptr<Shape>> byName;
    QSet<const xc::XSElementDeclaration *> walked; // declarations already walked here
};

// One element a content model allows: its name as written in a path, and
// whether this particle lets it stand only once.
struct Allowed
{
    QString name;
    xc::XSElementDeclaration *decl;
    bool single;
};

class Walker
{
public:
    Walker(QString targetNamespace, QString prefix, const std::vector<xc::XSElementDeclaration *> &globals)
        : m_targetNamespace(std::move(targetNamespace)), m_prefix(std::move(prefix))
    {
        for (xc::XSElementDeclaration *d : globals) {
            if (xc::XSElementDeclaration *head = d->getSubstitutionGroupAffiliation())
                m_members[head].push_back(d);
        }
    }

    QString elementName(const xc::XSElementDeclaration *d) const
    {
        const QString ns = fromXml(d->getNamespace());
        const QString name = fromXml(d->getName());
        return !m_prefix.isEmpty() && !ns.isEmpty() && ns == m_targetNamespace ? m_prefix + u':' + name : name;
    }

    void walk(Shape &shape, xc::XSElementDeclaration *decl, const QString &path)
    {
        if (shape.walked.contains(decl))
            return;
        shape.walked.insert(decl);
        xc::XSTypeDefinition *type = decl->getTypeDefinition();
        if (!type || type->getTypeCategory() != xc::XSTypeDefinition::COMPLEX_TYPE)
            return;
        auto *complex = static_cast<xc::XSComplexTypeDefinition *>(type);
        for (const QString &name : attributeNames(complex)) {
            if (!shape.attributes.contains(name))
                shape.attributes.append(name);
        }
        std::vector<Allowed> allowed;
        if (const xc::XSParticle *particle = complex->getParticle())
            collect(particle, true, allowed);
        QHash<QString, int> count;
        for (const Allowed &a : allowed)
            ++count[a.name];

        m_onPath.push_back(decl);
        for (const Allowed &a : allowed) {
            const QString childPath = path + u'/' + a.name;
            if (std::find(m_onPath.begin(), m_onPath.end(), a.decl) != m_onPath.end()) {
                if (!cuts.contains(childPath))
                    cuts.append(childPath);
                continue;
            }
            std::unique_ptr<Shape> &child = shape.byName[a.name];
            if (!child) {
                child = std::make_unique<Shape>();
                shape.children.append(a.name);
            }
            child->single = child->single && a.single && count.value(a.name) == 1;
            walk(*child, a.decl, childPath);
        }
        m_onPath.pop_back();
    }

    QStringList cuts;

private:
    QString attributeName(const xc::XSAttributeDeclaration *d) const
    {
        const QString ns = fromXml(d->getNamespace());
        const QString name = fromXml(d->getName());
        if (ns == kXmlNamespace)
            return QStringLiteral("xml:") + name;
        return !m_prefix.isEmpty() && !ns.isEmpty() && ns == m_targetNamespace ? m_prefix + u':' + name : name;
    }

    // "@name" for each attribute use of the type: those an extension takes
    // from its base first, in the base's order, then its own.
    QStringList attributeNames(xc::XSComplexTypeDefinition *complex) const
    {
        QStringList names;
        xc::XSTypeDefinition *base = complex->getBaseType();
        if (complex->getDerivationMethod() == xc::XSConstants::DERIVATION_EXTENSION && base && base != complex &&
            base->getTypeCategory() == xc::XSTypeDefinition::COMPLEX_TYPE)
            names = attributeNames(static_cast<xc::XSComplexTypeDefinition *>(base));
        if (const xc::XSAttributeUseList *uses = complex->getAttributeUses()) {
            for (XMLSize_t i = 0; i < uses->size(); ++i) {
                const QString name = u'@' + attributeName(uses->elementAt(i)->getAttrDeclaration());
                if (!names.contains(name))
                    names.append(name);
            }
        }
        return names;
    }

    // The elements a particle allows, in the order they are written; single
    // stays true while every particle on the way may occur only once.
    void collect(const xc::XSParticle *particle, bool single, std::vector<Allowed> &out) const
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
        default: // wildcards name no path
            break;
        }
    }

    // An element where it may stand, followed by the members of its
    // substitution group, which may stand in its place.
    void addElement(xc::XSElementDeclaration *decl, bool single, std::vector<Allowed> &out) const
    {
        if (!decl->getAbstract())
            out.push_back({elementName(decl), decl, single});
        if (decl->isDisallowedSubstitution(xc::XSConstants::DERIVATION_SUBSTITUTION))
            return;
        const auto members = m_members.find(decl);
        if (members == m_members.end())
            return;
        for (xc::XSElementDeclaration *member : members->second)
            addElement(member, single, out);
    }

    QString m_targetNamespace, m_prefix;
    std::map<const xc::XSElementDeclaration *, std::vector<xc::XSElementDeclaration *>> m_members;
    std::vector<const xc::XSElementDeclaration *> m_onPath;
};

void write(const Shape &shape, const QString &path, bool root, QByteArray &out)
{
    out += (root || !shape.single ? "E," : "ES,") + path.toUtf8() + '\n';
    for (const QString &a : shape.attributes)
        out += "E," + (path + u'/' + a).toUtf8() + '\n';
    for (const QString &name : shape.children)
        write(*shape.byName.at(name), path + u'/' + name, false, out);
}

QString quotedList(const QStringList &names)
{
    QStringList quoted;
    for (const QString &n : names)
        quoted.append(quoteForMessage(n));
    return quoted.join(QStringLiteral(", "));
}

} // namespace

SchemaConfig ConfigFromSchema(const QString &xsdPath, const QString &root, const QString &prefix)
{
    const QString file = quoteForMessage(xsdPath, 200);
    const QFileInfo info(xsdPath);
    if (!info.isFile() || !info.isReadable())
        throw Error(QStringLiteral("%1 cannot be read: %2.")
                        .arg(file, info.exists() ? QStringLiteral("it is not a readable file") : QStringLiteral("no such file")));
    const QString absolute = info.absoluteFilePath();

    XercesRuntime runtime;
    xc::XMLGrammarPoolImpl pool(xc::XMLPlatformUtils::fgMemoryManager);
    xc::XercesDOMParser parser(nullptr, xc::XMLPlatformUtils::fgMemoryManager, &pool);
    LocalFilesOnly resolver;
    FirstError errors;
    parser.setDoNamespaces(true);
    parser.setDoSchema(true);
    parser.setValidationSchemaFullChecking(true);
    parser.setHandleMultipleImports(true);
    parser.setDisableDefaultEntityResolution(true);
    parser.setXMLEntityResolver(&resolver);
    parser.setErrorHandler(&errors);

    xc::Grammar *grammar = nullptr;
    QString thrown;
    try {
        grammar = parser.loadGrammar(toXml(absolute), xc::Grammar::SchemaGrammarType, true);
    } catch (const xc::XMLException &e) {
        thrown = fromXml(e.getMessage());
    } catch (const xc::OutOfMemoryException &) {
        thrown = QStringLiteral("out of memory");
    }
    if (!resolver.refused.isEmpty())
        throw Error(QStringLiteral("%1 cannot be read: it refers to %2, and only local files are read.")
                        .arg(file, quoteForMessage(resolver.refused, 200)));
    if (errors.seen) {
        const QString &where = errors.systemId;
        const bool inside = !where.isEmpty() && where != absolute && QUrl(where).toLocalFile() != absolute;
        throw Error(QStringLiteral("%1 cannot be read%2, line %3, column %4: %5")
                        .arg(file, inside ? QStringLiteral(": in %1").arg(quoteForMessage(where, 200)) : QString())
                        .arg(errors.line)
                        .arg(errors.column)
                        .arg(errors.message));
    }
    if (!thrown.isEmpty() || !grammar)
        throw Error(QStringLiteral("%1 cannot be read: %2").arg(file, thrown.isEmpty() ? QStringLiteral("it holds no schema.") : thrown));

    const QString targetNamespace = fromXml(grammar->getTargetNamespace());
    bool changed = false;
    xc::XSModel *model = pool.getXSModel(changed);
    std::vector<xc::XSElementDeclaration *> globals;
    std::vector<xc::XSElementDeclaration *> candidates;
    QStringList candidateNames;
    if (xc::XSNamedMap<xc::XSObject> *elements = model ? model->getComponents(xc::XSConstants::ELEMENT_DECLARATION) : nullptr) {
        for (XMLSize_t i = 0; i < elements->getLength(); ++i) {
            auto *d = static_cast<xc::XSElementDeclaration *>(elements->item(i));
            globals.push_back(d);
            if (fromXml(d->getNamespace()) == targetNamespace && !d->getAbstract()) {
                candidates.push_back(d);
                candidateNames.append(fromXml(d->getName()));
            }
        }
    }

    Walker walker(targetNamespace, prefix, globals);
    xc::XSElementDeclaration *start = nullptr;
    if (!root.isEmpty()) {
        for (xc::XSElementDeclaration *d : candidates) {
            if (fromXml(d->getName()) == root || walker.elementName(d) == root)
                start = d;
        }
        if (!start)
            throw Error(QStringLiteral("%1 declares no global element %2; its global elements are: %3.")
                            .arg(file, quoteForMessage(root), candidateNames.isEmpty() ? QStringLiteral("none") : quotedList(candidateNames)));
    } else if (candidates.size() == 1) {
        start = candidates.front();
    } else if (candidates.empty()) {
        throw Error(QStringLiteral("%1 declares no global element to start from.").arg(file));
    } else {
        throw Error(QStringLiteral("%1 declares %2 global elements (%3); name the one to start from.")
                        .arg(file)
                        .arg(candidates.size())
                        .arg(quotedList(candidateNames)));
    }

    Shape top;
    const QString rootName = walker.elementName(start);
    walker.walk(top, start, rootName);
    SchemaConfig result;
    write(top, rootName, true, result.text);
    result.cuts = walker.cuts;
    return result;
}

} // namespace tarnwell
