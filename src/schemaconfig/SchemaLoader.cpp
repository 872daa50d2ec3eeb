#include "SchemaLoader.h"

#include "Error.h"
#include "LocalSources.h"

#include <QFile>
#include <QFileInfo>
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

namespace tarnwell {

namespace {

const QString kSchemaNamespace = QStringLiteral("http://www.w3.org/2001/XMLSchema");

// Entity expansions allowed in one parse: far more than any real schema or
// document of a family uses, far fewer than an expansion bomb needs.
constexpr XMLSize_t kEntityExpansionLimit = 100000;

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
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
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

} // namespace tarnwell
