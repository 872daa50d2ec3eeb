#include "SchemaValidator.h"

#include "Error.h"
#include "LocalSources.h"
#include "NameHash.h"
#include "SchemaContent.h"
#include "SchemaLoader.h"
#include "TarnwellProvider.h"
#include "XmlDocument.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tarnwell {

namespace {

const QString kXsi = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

// A message of Xerces that names only the pattern a built-in type is made
// of, said in the type's words first; Xerces's text follows.
QString inTheTypesWords(const QString &message)
{
    static const struct
    {
        const char *pattern;
        const char *words;
    } known[] = {
        {"'[+\\-]?[0-9]+'", "a whole number (xs:integer, or a type derived from it such as xs:int or xs:positiveInteger)"},
        {"'[\\-+]?[0-9]+'", "a whole number (xs:integer, or a type derived from it such as xs:int or xs:positiveInteger)"},
    };
    static const QRegularExpression form(QStringLiteral("^value '(.*)' does not match regular expression facet (.*)$"));
    const QRegularExpressionMatch m = form.match(message);
    if (!m.hasMatch())
        return message;
    for (const auto &k : known) {
        if (m.captured(2) == QLatin1String(k.pattern))
            return QStringLiteral("value '%1' is not %2 (%3)").arg(m.captured(1), QLatin1String(k.words), message);
    }
    return message;
}

// What the document says about its schema, read from its root element.
struct SchemaHint
{
    QString location;  // as written; empty when none is named
    QString rootNamespace; // the root element's namespace name
    QString readError; // the document is not well-formed before its root ends
};

SchemaHint readHint(const QByteArray &bytes)
{
    SchemaHint hint;
    QXmlStreamReader reader(bytes);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        hint.rootNamespace = reader.namespaceUri().toString();
        if (reader.namespaceUri().isEmpty()) {
            hint.location = attributes.value(kXsi, QStringLiteral("noNamespaceSchemaLocation")).toString().trimmed();
            return hint;
        }
        // Pairs of namespace and location: the root's namespace picks its
        // schema, which imports what the others need.
        const QStringList pairs =
            attributes.value(kXsi, QStringLiteral("schemaLocation")).toString().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        for (qsizetype i = 0; i + 1 < pairs.size(); i += 2) {
            if (pairs[i] == reader.namespaceUri())
                hint.location = pairs[i + 1];
        }
        return hint;
    }
    if (reader.hasError())
        hint.readError = QStringLiteral("line %1, column %2: %3").arg(reader.lineNumber()).arg(reader.columnNumber()).arg(reader.errorString());
    return hint;
}

struct CachedSchema
{
    std::unique_ptr<LoadedSchema> schema;
    FileStamps stamps;

    bool current() const { return stamps.current(); }
};

// Follows the elements as the validator reads them, so that each problem
// gets the indexed path of its element: a problem found in a start tag
// concerns the element that tag opens (it is reported before the element
// begins), any other the element that is open.
class PathTracker : public xc::DefaultHandler
{
public:
    explicit PathTracker(ValidationResult &result) : m_result(result) {}

    void setDocumentLocator(const xc::Locator *const locator) override { m_locator = locator; }

    void startElement(const XMLCh *const, const XMLCh *const, const XMLCh *const qname,
                      const xc::Attributes &attributes) override
    {
        const std::u16string name(reinterpret_cast<const char16_t *>(qname));
        int index = 0;
        if (!m_frames.empty())
            index = m_frames.back().seen[name]++;
        m_frames.push_back({name, index, {}});
        if (m_pending.empty() || !m_locator)
            return;
        const auto line = static_cast<int>(m_locator->getLineNumber());
        const auto column = static_cast<int>(m_locator->getColumnNumber());
        const QString path = currentPath();
        bool dropped = false;
        for (const qsizetype i : m_pending) {
            ValidationProblem &p = m_result.problems[i];
            if (p.line != line || p.column != column)
                continue;
            p.path = path;
            if (isMarkupAttributeNotDeclared(p.message)) {
                p.line = -1; // dropped below
                dropped = true;
            } else {
                nameTheAttribute(p, attributes);
            }
        }
        m_pending.clear();
        if (dropped) {
            m_result.problems.removeIf([](const ValidationProblem &p) { return p.line == -1; });
        }
    }

    void endElement(const XMLCh *const, const XMLCh *const, const XMLCh *const) override
    {
        // The content model is checked at the end tag, and its message names
        // the child that does not fit ("element 'Footer' is not allowed for
        // content model ..."). When the element holds one child of that name,
        // the problem is that child's.
        for (const qsizetype i : m_pending) {
            ValidationProblem &p = m_result.problems[i];
            static const QRegularExpression notAllowed(QStringLiteral("^element '([^']+)' is not allowed for content model"));
            const QRegularExpressionMatch m = notAllowed.match(p.message);
            if (!m.hasMatch() || m_frames.empty())
                continue;
            const auto seen = m_frames.back().seen.find(m.captured(1).toStdU16String());
            if (seen != m_frames.back().seen.end() && seen->second == 1)
                p.path = currentPath() + u'/' + m.captured(1);
        }
        m_pending.clear();
        if (!m_frames.empty())
            m_frames.pop_back();
    }

    void warning(const xc::SAXParseException &) override {}
    void error(const xc::SAXParseException &e) override { note(e); }
    void fatalError(const xc::SAXParseException &e) override
    {
        // A document that is not well-formed cannot be checked at all.
        if (fatal.isEmpty())
            fatal = QStringLiteral("the document is not well-formed: line %1, column %2: %3")
                        .arg(e.getLineNumber())
                        .arg(e.getColumnNumber())
                        .arg(fromXml(e.getMessage()));
    }

    QString fatal;

private:
    struct Frame
    {
        std::u16string name;
        int index;
        std::unordered_map<std::u16string, int, NameHash> seen; // children by name
    };

    // The indexed path of the element open now. A pair list goes 256 levels
    // deep; below that the path ends in "/…" (the line and column still say
    // where), so a deep document's problems cost no more than a shallow one's.
    QString currentPath() const
    {
        static constexpr size_t kPathDepth = 256;
        QString path;
        for (size_t depth = 0; depth < m_frames.size(); ++depth) {
            if (!path.isEmpty())
                path += u'/';
            if (depth == kPathDepth) {
                path += u'…';
                break;
            }
            const Frame &f = m_frames[depth];
            path += QStringView(f.name);
            if (f.index > 0)
                path += u'[' + QString::number(f.index) + u']';
        }
        return path;
    }

    // Namespace declarations and the schema-instance attributes are never a
    // schema's attributes; where the element is undeclared, Xerces lists
    // them as undeclared too, which only hides the real problem.
    static bool isMarkupAttributeNotDeclared(const QString &message)
    {
        static const QRegularExpression undeclared(QStringLiteral("^attribute '([^']+)' is not declared for element"));
        const QRegularExpressionMatch m = undeclared.match(message);
        if (!m.hasMatch())
            return false;
        const QString attribute = m.captured(1);
        return attribute == u"xmlns" || attribute.startsWith(u"xmlns:")
            || attribute.startsWith(u"{http://www.w3.org/2000/xmlns/}") || attribute.startsWith(u'{' + kXsi + u'}');
    }

    // A value's problem found in a start tag ("value 'x' does not match
    // ...") does not say whose value it is. When exactly one attribute of
    // the tag holds that value, the message names it.
    static void nameTheAttribute(ValidationProblem &p, const xc::Attributes &attributes)
    {
        static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
        if (p.message.startsWith(u"attribute ") || p.message.startsWith(u"element "))
            return;
        const QRegularExpressionMatch m = quoted.match(p.message);
        if (!m.hasMatch())
            return;
        const QString value = m.captured(1);
        QString holder;
        for (XMLSize_t i = 0; i < attributes.getLength(); ++i) {
            if (fromXml(attributes.getValue(i)) != value)
                continue;
            if (!holder.isEmpty())
                return; // two attributes hold it: which one is not known
            holder = fromXml(attributes.getQName(i));
        }
        if (!holder.isEmpty())
            p.message = QStringLiteral("attribute '%1': %2").arg(holder, p.message);
    }

    void note(const xc::SAXParseException &e)
    {
        if (m_result.problems.size() >= SchemaValidator::kMaxProblems) {
            m_result.moreProblems = true;
            return;
        }
        ValidationProblem p;
        p.line = static_cast<int>(e.getLineNumber());
        p.column = static_cast<int>(e.getColumnNumber());
        p.path = currentPath();
        p.message = inTheTypesWords(fromXml(e.getMessage()));
        m_result.problems.append(p);
        m_pending.push_back(m_result.problems.size() - 1);
    }

    ValidationResult &m_result;
    const xc::Locator *m_locator = nullptr;
    std::vector<Frame> m_frames;
    std::vector<qsizetype> m_pending; // problems reported since the last event
};

} // namespace

// The limit of the editor's reader that the document's bytes go beyond, in
// plain words; empty when they are within them (or are refused for another
// reason, which the check itself reports).
static QString readLimitOf(const QByteArray &bytes, const QString &path)
{
    try {
        xml::parseDocument(bytes, path);
    } catch (const xml::ReadLimitError &e) {
        return e.limit();
    } catch (const Error &) {
    }
    return QString();
}

struct SchemaValidator::Impl
{
    XercesRuntime runtime;
    std::mutex mutex;
    std::map<QString, CachedSchema> cache;

    // The schema at path, read anew when one of its files changed. Throws
    // what LoadedSchema throws.
    const LoadedSchema &schema(const QString &path)
    {
        auto it = cache.find(path);
        if (it != cache.end() && it->second.current())
            return *it->second.schema;
        if (it != cache.end())
            cache.erase(it);
        CachedSchema entry;
        entry.schema = std::make_unique<LoadedSchema>(path);
        entry.stamps = FileStamps(entry.schema->files());
        // Few schemas are in use at once; a long session must not keep every
        // one it met.
        if (cache.size() >= 8)
            cache.clear();
        return *cache.emplace(path, std::move(entry)).first->second.schema;
    }

    void check(const QString &documentPath, const QByteArray &bytes, const LoadedSchema &schema, ValidationResult &result)
    {
        xc::SAX2XMLReaderImpl reader(xc::XMLPlatformUtils::fgMemoryManager, schema.pool());
        reader.setFeature(xc::XMLUni::fgSAX2CoreNameSpaces, true);
        reader.setFeature(xc::XMLUni::fgSAX2CoreValidation, true);
        reader.setFeature(xc::XMLUni::fgXercesDynamic, false);
        reader.setFeature(xc::XMLUni::fgXercesSchema, true);
        reader.setFeature(xc::XMLUni::fgXercesUseCachedGrammarInParse, true);
        reader.setFeature(xc::XMLUni::fgXercesCacheGrammarFromParse, false);
        reader.setFeature(xc::XMLUni::fgXercesLoadSchema, false);
        reader.setFeature(xc::XMLUni::fgXercesLoadExternalDTD, false);
        reader.setFeature(xc::XMLUni::fgXercesDisableDefaultEntityResolution, true);
        xc::SecurityManager security;
        security.setEntityExpansionLimit(100000);
        reader.setProperty(xc::XMLUni::fgXercesSecurityManager, &security);
        LocalResolver resolver;
        reader.setXMLEntityResolver(&resolver);
        PathTracker tracker(result);
        reader.setContentHandler(&tracker);
        reader.setErrorHandler(&tracker);
        QString thrown;
        try {
            // The text as given, named by the document's path (for the
            // messages and for what it names relative to itself).
            const xc::MemBufInputSource source(reinterpret_cast<const XMLByte *>(bytes.constData()),
                                               static_cast<XMLSize_t>(bytes.size()), toXml(documentPath), false);
            reader.parse(source);
        } catch (const xc::XMLException &e) {
            thrown = fromXml(e.getMessage());
        } catch (const xc::SAXParseException &) {
            // Already noted by the handler.
        } catch (const xc::OutOfMemoryException &) {
            thrown = QStringLiteral("out of memory");
        }
        if (!thrown.isEmpty() || !tracker.fatal.isEmpty()) {
            result.status = ValidationResult::Status::NotChecked;
            result.reason = thrown.isEmpty() ? tracker.fatal : QStringLiteral("the document cannot be read: %1").arg(thrown);
            result.problems.clear();
            return;
        }
        if (!resolver.skippedDtd.isEmpty()) {
            // The entity's text was left out, so the values checked are not
            // the document's: no verdict rather than a wrong one.
            result.status = ValidationResult::Status::NotChecked;
            result.reason = QStringLiteral("the document uses the external entity %1, which is not read")
                                .arg(quoteForMessage(resolver.skippedDtd, 200));
            result.problems.clear();
            result.moreProblems = false;
            return;
        }
        result.status = result.problems.isEmpty() ? ValidationResult::Status::Valid : ValidationResult::Status::Invalid;
    }
};

SchemaValidator::SchemaValidator() : d(std::make_unique<Impl>()) {}
SchemaValidator::~SchemaValidator() = default;

ValidationResult SchemaValidator::validate(const QString &documentPath, const QString &schemaPath)
{
    ValidationResult result;
    QFile file(documentPath);
    if (!file.open(QIODevice::ReadOnly)) {
        result.reason = QStringLiteral("the document cannot be read: %1").arg(file.errorString());
        return result;
    }
    if (file.size() > TarnwellProvider::kMaxFileSize) {
        result.reason = QStringLiteral("the document goes beyond what the editor reads: it is larger than %1 MiB")
                            .arg(TarnwellProvider::kMaxFileSize / (1024 * 1024));
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.reason = QStringLiteral("the document cannot be read: %1").arg(file.errorString());
        return result;
    }
    return validateText(bytes, documentPath, schemaPath);
}

ValidationResult SchemaValidator::validateText(const QByteArray &bytes, const QString &documentPath, const QString &schemaPath,
                                               ReadLimits limits)
{
    ValidationResult result;
    const std::lock_guard lock(d->mutex);
    try {
        const QString document = QFileInfo(documentPath).absoluteFilePath();
        // The schema as the document or the caller names it, for the reasons.
        QString named = schemaPath;
        QString schemaFile;
        if (schemaPath.isEmpty()) {
            const SchemaHint hint = readHint(bytes);
            if (!hint.readError.isEmpty()) {
                result.reason = QStringLiteral("the document cannot be read: %1").arg(hint.readError);
                return result;
            }
            // A document that names no schema is checked against the one the
            // catalogs map its root's namespace to, as xmllint does.
            const QString byNamespace = hint.location.isEmpty() ? SchemaForNamespace(hint.rootNamespace) : QString();
            if (hint.location.isEmpty() && byNamespace.isEmpty()) {
                result.reason = QStringLiteral("no schema named");
                return result;
            }
            named = hint.location.isEmpty() ? byNamespace : hint.location;
            schemaFile = hint.location.isEmpty() ? byNamespace : ResolveLocalFile(hint.location, document);
        } else if (IsRemoteLocation(schemaPath) || schemaPath.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            schemaFile = ResolveLocalFile(schemaPath, QDir::currentPath() + u'/');
        } else {
            schemaFile = schemaPath; // a plain path, relative to the working folder
        }
        result.schemaName = QFileInfo(IsRemoteLocation(named) ? QUrl(named).path() : schemaFile).fileName();
        if (schemaFile.isEmpty()) {
            result.reason = QStringLiteral("%1 is not a local file").arg(named);
            result.unmappedUrl = named;
            return result;
        }
        const QFileInfo info(schemaFile);
        if (!info.exists()) {
            result.reason = QStringLiteral("%1 not found").arg(named);
            return result;
        }
        if (!info.isFile()) {
            result.reason = QStringLiteral("%1 is not a regular file").arg(named);
            return result;
        }
        result.schemaFile = info.absoluteFilePath();
        const LoadedSchema *schema = nullptr;
        try {
            schema = &d->schema(QFileInfo(schemaFile).absoluteFilePath());
        } catch (const Error &e) {
            result.reason = QStringLiteral("the schema cannot be read: %1").arg(e.description());
            return result;
        }
        // The document within the limits the editor reads it by (its
        // nesting, its attributes, what its entities expand to), or no
        // check: Xerces has no such bounds of its own.
        if (const QString limit = limits == ReadLimits::Check ? readLimitOf(bytes, document) : QString(); !limit.isEmpty()) {
            result.reason = QStringLiteral("the document goes beyond what the editor reads: %1").arg(limit);
            return result;
        }
        d->check(document, bytes, *schema, result);
    } catch (const std::exception &e) {
        result = {};
        result.reason = QString::fromUtf8(e.what());
    }
    return result;
}

} // namespace tarnwell
