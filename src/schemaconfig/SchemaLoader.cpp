#include "SchemaLoader.h"

#include "Error.h"
#include "LocalSources.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QUrl>
#include <QXmlStreamReader>

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>

#include <algorithm>
#include <map>
#include <vector>

namespace tarnwell {

namespace {

const QString kSchemaNamespace = QStringLiteral("http://www.w3.org/2001/XMLSchema");

// Entity expansions allowed in one parse: far more than any real schema or
// document of a family uses, far fewer than an expansion bomb needs.
constexpr XMLSize_t kEntityExpansionLimit = 100000;
// How deep a schema file may nest its elements, as a document may.
constexpr int kMaxSchemaDepth = 256;
// How many particles one content model may unfold into once its finite
// maxOccurs are written out: far more than real vocabularies need (DocBook's
// largest models hold a few hundred), far fewer than take gigabytes.
constexpr double kMaxModelParticles = 100000;

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

QString localPathOf(const QString &systemId)
{
    const QUrl url(systemId);
    return url.isLocalFile() ? url.toLocalFile() : systemId;
}

// What a content model unfolds into when its finite maxOccurs are written
// out, as Xerces builds it: a number of particles plus, for each named model
// group it refers to, how many times that group's particles.
struct Unfolded
{
    double particles = 0;
    std::map<QString, double> groups;

    void add(const Unfolded &o, double times)
    {
        particles += o.particles * times;
        for (const auto &[name, n] : o.groups)
            groups[name] += n * times;
    }
};

// How many copies of a particle its occurrence bounds make.
double copiesOf(const QXmlStreamAttributes &attributes)
{
    const auto number = [&](const char *name, double fallback) {
        const QStringView v = attributes.value(QLatin1String(name));
        if (v.isEmpty())
            return fallback;
        bool ok = false;
        const double n = v.toDouble(&ok);
        return ok ? std::min(n, 1e12) : fallback;
    };
    const double min = number("minOccurs", 1);
    if (attributes.value(QLatin1String("maxOccurs")) == QLatin1String("unbounded"))
        return std::max(min, 1.0);
    return std::max(number("maxOccurs", 1), 1.0);
}

// Counts, while a schema file is read, what its content models unfold into,
// so that a schema whose nested maxOccurs multiply into millions of
// particles is refused before Xerces builds them.
class ModelSizes
{
public:
    void start(QStringView local, const QXmlStreamAttributes &attributes)
    {
        Frame f;
        f.local = local.toString();
        // Which named type derives from which: Xerces follows the chain by
        // recursion.
        if (local == u"simpleType" || local == u"complexType") {
            const QString name = attributes.value(QLatin1String("name")).toString();
            f.typeName = name.isEmpty() && !m_types.empty() ? m_types.back() : name;
            m_types.push_back(f.typeName);
        } else if ((local == u"restriction" || local == u"extension") && !m_types.empty() && !m_types.back().isEmpty()) {
            const QStringView base = attributes.value(QLatin1String("base"));
            if (!base.isEmpty())
                m_bases.emplace(m_types.back(), base.mid(base.indexOf(u':') + 1).toString());
        }
        if (local == u"complexType") {
            f.role = Role::Model;
        } else if (local == u"group" && attributes.hasAttribute(QLatin1String("name"))) {
            f.role = Role::Model;
            f.group = attributes.value(QLatin1String("name")).toString();
        } else if (local == u"sequence" || local == u"choice" || local == u"all" || local == u"element" ||
                   local == u"any" || local == u"group") {
            f.role = Role::Particle;
            f.copies = copiesOf(attributes);
            const QStringView ref = attributes.value(QLatin1String("ref"));
            f.group = local == u"group" ? ref.mid(ref.indexOf(u':') + 1).toString() : QString();
        }
        m_stack.push_back(std::move(f));
    }

    void end()
    {
        Frame f = std::move(m_stack.back());
        m_stack.pop_back();
        if (f.local == u"simpleType" || f.local == u"complexType")
            m_types.pop_back();
        Unfolded value;
        switch (f.role) {
        case Role::Model:
            if (f.group.isEmpty())
                m_models.push_back(std::move(f.inside));
            else
                m_groups[f.group] = std::move(f.inside);
            return; // an element of this type counts once where it stands
        case Role::Particle:
            if (f.local == u"element" || f.local == u"any")
                value.particles = f.copies;
            else if (f.local == u"group")
                value.groups[f.group] = f.copies;
            else
                value.add(f.inside, f.copies);
            break;
        case Role::Other:
            value = std::move(f.inside);
            break;
        }
        if (!m_stack.empty())
            m_stack.back().inside.add(value, 1);
    }

    // The largest content model, its group references resolved (one to a
    // group of another file counts as one particle).
    // Whether named groups refer to one another deeper than a schema may
    // nest (known once largest() ran).
    bool groupsTooDeep() const { return m_groupsTooDeep; }

    double largest()
    {
        double most = 0;
        for (const Unfolded &m : m_models)
            most = std::max(most, resolve(m, 0));
        for (const auto &[name, g] : m_groups)
            most = std::max(most, resolve(g, 0));
        return most;
    }

    // The longest chain of named types each derived from the next, up to
    // limit + 1 (found without recursion).
    int longestDerivation(int limit)
    {
        std::map<QString, int> length;
        int most = 0;
        for (const auto &[start, base] : m_bases) {
            std::vector<QString> chain;
            QString at = start;
            int known = 0;
            while (true) {
                if (const auto it = length.find(at); it != length.end()) {
                    known = it->second;
                    break;
                }
                const auto next = m_bases.find(at);
                if (next == m_bases.end() || static_cast<int>(chain.size()) > limit) {
                    known = 0;
                    break;
                }
                chain.push_back(at);
                at = next->second;
            }
            for (auto it = chain.rbegin(); it != chain.rend(); ++it)
                length[*it] = ++known;
            most = std::max(most, known);
            if (most > limit)
                return most;
        }
        return most;
    }

private:
    enum class Role { Other, Model, Particle };
    struct Frame
    {
        QString local;
        Role role = Role::Other;
        double copies = 1;
        QString group; // a named group defined, or referred to
        QString typeName; // the named type a type element stands in
        Unfolded inside;
    };

    // Each named group is resolved once (groups that refer to one group
    // twice, level after level, would otherwise take exponential time); one
    // that refers back to itself counts as one particle there.
    double resolve(const Unfolded &u, int depth)
    {
        double n = u.particles;
        for (const auto &[name, times] : u.groups) {
            n += times * groupSize(name, depth);
            if (n > 1e15)
                return n;
        }
        return n;
    }

    double groupSize(const QString &name, int depth)
    {
        if (const auto known = m_groupSizes.find(name); known != m_groupSizes.end())
            return known->second;
        const auto g = m_groups.find(name);
        if (g == m_groups.end())
            return 1.0;
        // Xerces follows group references by recursion as well.
        if (depth > kMaxSchemaDepth) {
            m_groupsTooDeep = true;
            return 1.0;
        }
        m_groupSizes[name] = 1.0; // while it is being resolved
        const double size = resolve(g->second, depth + 1);
        m_groupSizes[name] = size;
        return size;
    }

    std::vector<Frame> m_stack;
    std::vector<QString> m_types;         // the named types open, innermost last
    std::map<QString, QString> m_bases;   // named type -> the type it derives from
    std::vector<Unfolded> m_models;
    std::map<QString, Unfolded> m_groups;
    std::map<QString, double> m_groupSizes; // resolved so far
    bool m_groupsTooDeep = false;
};

// Refuses a file that is not an XML Schema before Xerces sees it, so that a
// DTD or an instance document is named for what it is, not by the first
// fault Xerces meets in it; and a schema that uses an entity only its
// external DTD declares, which is never read (Xerces would take the entity
// as empty without a word).
void checkIsSchema(const QString &path, const QString &quoted)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("%1 cannot be read: %2.").arg(quoted, file.errorString()));
    QXmlStreamReader reader(&file);
    bool rootSeen = false;
    int depth = 0;
    ModelSizes sizes;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        // Xerces reads nested declarations by recursion: a schema nested
        // without bound would overflow its stack.
        if (token == QXmlStreamReader::StartElement && ++depth > kMaxSchemaDepth)
            throw Error(QStringLiteral("%1 cannot be read safely: it nests elements deeper than %2 levels (line %3).")
                            .arg(quoted)
                            .arg(kMaxSchemaDepth)
                            .arg(reader.lineNumber()));
        if (token == QXmlStreamReader::StartElement && reader.namespaceUri() == kSchemaNamespace)
            sizes.start(reader.name(), reader.attributes());
        else if (token == QXmlStreamReader::StartElement)
            sizes.start(u"", {});
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            sizes.end();
        }
        if (token == QXmlStreamReader::StartElement && !rootSeen) {
            rootSeen = true;
            if (reader.namespaceUri() != kSchemaNamespace || reader.name() != QLatin1String("schema"))
                throw Error(QStringLiteral("%1 is not an XML Schema: its root element is %2, not xs:schema in the "
                                           "namespace %3.")
                                .arg(quoted, quoteForMessage(reader.qualifiedName().toString()), kSchemaNamespace));
        } else if (token == QXmlStreamReader::EntityReference) {
            throw Error(QStringLiteral("%1 cannot be read, line %2: it uses the entity %3, which only its external "
                                       "DTD declares, and external DTDs are not read.")
                            .arg(quoted)
                            .arg(reader.lineNumber())
                            .arg(QStringLiteral("&%1;").arg(reader.name())));
        }
    }
    if (!reader.hasError() || reader.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
        if (!rootSeen)
            throw Error(QStringLiteral("%1 is not an XML Schema: it holds no element.").arg(quoted));
        if (sizes.longestDerivation(kMaxSchemaDepth) > kMaxSchemaDepth)
            throw Error(QStringLiteral("%1 cannot be read safely: it derives types from one another more than %2 "
                                       "levels deep.")
                            .arg(quoted)
                            .arg(kMaxSchemaDepth));
        const double largest = sizes.largest();
        if (sizes.groupsTooDeep())
            throw Error(QStringLiteral("%1 cannot be read safely: its named groups refer to one another more than %2 "
                                       "levels deep.")
                            .arg(quoted)
                            .arg(kMaxSchemaDepth));
        if (largest > kMaxModelParticles)
            throw Error(QStringLiteral("%1 cannot be read safely: a content model unfolds into more than %2 particles "
                                       "(the maxOccurs of nested groups multiply).")
                            .arg(quoted, QLocale(QLocale::English).toString(static_cast<qint64>(kMaxModelParticles))));
        return;
    }
    if (!rootSeen)
        throw Error(QStringLiteral("%1 is not an XML Schema: it is not XML (line %2, column %3: %4). A DTD, "
                                   "for one, cannot be read as a schema.")
                        .arg(quoted)
                        .arg(reader.lineNumber())
                        .arg(reader.columnNumber())
                        .arg(reader.errorString()));
    if (reader.errorString().contains(QLatin1String("ntity")))
        throw Error(QStringLiteral("%1 cannot be read, line %2, column %3: %4 (only the entities its internal "
                                   "DTD subset declares are known: external DTDs are not read).")
                        .arg(quoted)
                        .arg(reader.lineNumber())
                        .arg(reader.columnNumber())
                        .arg(reader.errorString()));
    // Other faults are left to Xerces, which places them in its own words.
}

} // namespace

XercesRuntime::XercesRuntime()
{
    static const QString failure = [] {
        try {
            xc::XMLPlatformUtils::Initialize();
        } catch (const xc::XMLException &e) {
            return fromXml(e.getMessage());
        }
        return QString();
    }();
    if (!failure.isEmpty())
        throw Error(QStringLiteral("The XML Schema reader cannot start: %1").arg(failure));
}

xc::InputSource *LocalResolver::resolveEntity(xc::XMLResourceIdentifier *id)
{
    const QString system = fromXml(id->getSystemId());
    const QString base = fromXml(id->getBaseURI());
    const auto type = id->getResourceIdentifierType();
    if (type == xc::XMLResourceIdentifier::ExternalEntity) {
        // An external DTD subset or entity: never read. The empty text lets
        // the parse go on; what it would have declared stays undeclared.
        if (skippedDtd.isEmpty())
            skippedDtd = system;
        static const XMLByte nothing[1] = {0};
        return new xc::MemBufInputSource(nothing, 0, id->getSystemId(), false);
    }
    if (system.isEmpty())
        return nullptr;
    const QString local = ResolveLocalFile(system, base);
    if (local.isEmpty()) {
        if (refusedUrl.isEmpty())
            refusedUrl = system;
        return nullptr;
    }
    if (!QFileInfo(local).isFile()) {
        const QString entry = QStringLiteral("%1 (named in %2)").arg(quoteForMessage(local, 200), quoteForMessage(localPathOf(base), 200));
        if (!missing.contains(entry))
            missing.append(entry);
        return nullptr;
    }
    if (type != xc::XMLResourceIdentifier::UnKnown && refusedPart.isEmpty()) {
        // A part of the schema gets the same checks as the schema itself.
        try {
            checkIsSchema(local, quoteForMessage(local, 200));
        } catch (const Error &e) {
            refusedPart = e.description();
            return nullptr;
        }
    }
    opened.append(local);
    return new xc::LocalFileInputSource(toXml(local));
}

void ApplySecurityLimits(xc::XercesDOMParser &parser, xc::SecurityManager &manager)
{
    manager.setEntityExpansionLimit(kEntityExpansionLimit);
    parser.setSecurityManager(&manager);
}

LoadedSchema::LoadedSchema(const QString &path)
    : m_quotedFile(quoteForMessage(path, 200))
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        throw Error(QStringLiteral("%1 cannot be read: %2.")
                        .arg(m_quotedFile, info.exists() ? QStringLiteral("it is not a readable file") : QStringLiteral("no such file")));
    const QString absolute = info.absoluteFilePath();
    checkIsSchema(absolute, m_quotedFile);

    m_pool = std::make_unique<xc::XMLGrammarPoolImpl>(xc::XMLPlatformUtils::fgMemoryManager);
    m_parser = std::make_unique<xc::XercesDOMParser>(nullptr, xc::XMLPlatformUtils::fgMemoryManager, m_pool.get());
    FirstError errors;
    m_parser->setDoNamespaces(true);
    m_parser->setDoSchema(true);
    m_parser->setValidationSchemaFullChecking(true);
    m_parser->setHandleMultipleImports(true);
    m_parser->setDisableDefaultEntityResolution(true);
    m_parser->setLoadExternalDTD(false);
    m_parser->setXMLEntityResolver(&m_resolver);
    m_parser->setErrorHandler(&errors);
    ApplySecurityLimits(*m_parser, m_security);

    xc::Grammar *grammar = nullptr;
    QString thrown;
    try {
        // Given as an input source, so that the resolver sees only what the
        // schema names.
        const xc::LocalFileInputSource source(toXml(absolute));
        grammar = m_parser->loadGrammar(source, xc::Grammar::SchemaGrammarType, true);
    } catch (const xc::XMLException &e) {
        thrown = fromXml(e.getMessage());
    } catch (const xc::OutOfMemoryException &) {
        thrown = QStringLiteral("out of memory");
    }
    m_parser->setErrorHandler(nullptr);
    const LocalResolver &r = m_resolver;
    if (!r.refusedUrl.isEmpty())
        throw Error(QStringLiteral("%1 cannot be read: it refers to %2, which is not a local file, and nothing is "
                                   "downloaded; %3.")
                        .arg(m_quotedFile, quoteForMessage(r.refusedUrl, 200), CatalogAdvice(r.refusedUrl)));
    if (!r.missing.isEmpty())
        throw Error(QStringLiteral("%1 cannot be read: it includes or imports %2 %3, which %4 not exist.")
                        .arg(m_quotedFile, r.missing.size() == 1 ? QStringLiteral("the file") : QStringLiteral("files"),
                             r.missing.join(QStringLiteral(", ")),
                             r.missing.size() == 1 ? QStringLiteral("does") : QStringLiteral("do")));
    if (!r.refusedPart.isEmpty())
        throw Error(QStringLiteral("%1 cannot be read: %2").arg(m_quotedFile, r.refusedPart));
    if (errors.seen) {
        const QString where = localPathOf(errors.systemId);
        const bool inside = !where.isEmpty() && where != absolute;
        QString dtd;
        if (!r.skippedDtd.isEmpty())
            dtd = QStringLiteral(" (its DOCTYPE names %1, and external DTDs and entities are not read, so what they "
                                 "declare is unknown here)")
                      .arg(quoteForMessage(r.skippedDtd, 200));
        throw Error(QStringLiteral("%1 cannot be read%2, line %3, column %4: %5%6")
                        .arg(m_quotedFile, inside ? QStringLiteral(": in %1").arg(quoteForMessage(where, 200)) : QString())
                        .arg(errors.line)
                        .arg(errors.column)
                        .arg(errors.message, dtd));
    }
    if (!thrown.isEmpty() || !grammar)
        throw Error(QStringLiteral("%1 cannot be read: %2").arg(m_quotedFile, thrown.isEmpty() ? QStringLiteral("it holds no schema.") : thrown));

    m_files = QStringList{absolute} + r.opened;
    m_targetNamespace = fromXml(grammar->getTargetNamespace());
    bool changed = false;
    m_model = m_pool->getXSModel(changed);
    if (!m_model)
        throw Error(QStringLiteral("%1 cannot be read: it holds no schema.").arg(m_quotedFile));
}

LoadedSchema::~LoadedSchema()
{
    m_parser.reset();
    m_pool.reset();
}

FileStamps::FileStamps(const QStringList &files)
{
    for (const QString &file : files)
        m_stamps.push_back(stampOf(file));
}

bool FileStamps::current() const
{
    return std::all_of(m_stamps.begin(), m_stamps.end(), [](const Stamp &s) { return stampOf(s.path) == s; });
}

FileStamps::Stamp FileStamps::stampOf(const QString &path)
{
    const QFileInfo info(path);
    return {path, info.exists() ? info.size() : -1, info.lastModified()};
}

} // namespace tarnwell
