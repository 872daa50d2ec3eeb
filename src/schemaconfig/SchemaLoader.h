#pragma once

// Reading an XML Schema with Xerces-C++ into its component model: local
// files and catalogs only, no external DTD or entity, every missing part
// named. Internal to the schema libraries: Xerces types stay out of their
// public headers.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <xercesc/framework/XMLGrammarPoolImpl.hpp>
#include <xercesc/framework/psvi/XSModel.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>

#include <memory>
#include <vector>

namespace tarnwell {

namespace xc = XERCES_CPP_NAMESPACE;

inline QString fromXml(const XMLCh *s)
{
    return s ? QString::fromUtf16(reinterpret_cast<const char16_t *>(s)) : QString();
}

inline const XMLCh *toXml(const QString &s)
{
    return reinterpret_cast<const XMLCh *>(s.utf16());
}

// Makes sure Xerces is initialized. It is initialized once for the
// process and never terminated: checks run on worker threads, and Xerces'
// Initialize and Terminate must not race one another.
class XercesRuntime
{
public:
    XercesRuntime();
    ~XercesRuntime() = default;
    XercesRuntime(const XercesRuntime &) = delete;
    XercesRuntime &operator=(const XercesRuntime &) = delete;
};

// Resolves what a schema or document names: local files, and other URLs
// through the XML catalogs; anything else is turned away, so nothing is read
// from the network. External DTDs and entities are never read (an empty text
// stands in for them). What was refused, missing or left out is noted for
// the message.
class LocalResolver : public xc::XMLEntityResolver
{
public:
    QString refusedUrl;     // the first URL that no catalog maps to a local file
    QStringList missing;    // each include, import or redefine whose file is absent, with the file naming it
    QString refusedPart;    // why the first included or imported file that is not a usable schema is refused
    QString skippedDtd;     // the first external DTD or entity left unread
    QStringList opened;     // the local files it opened, in order

    xc::InputSource *resolveEntity(xc::XMLResourceIdentifier *id) override;
};

// A schema read into its component model.
class LoadedSchema
{
public:
    // Reads the schema at path. Throws an Error that names the file, and
    // where Xerces places the fault, when it cannot be read, is not an XML
    // Schema, names a file that is absent or a URL that is not local, or is
    // not valid.
    explicit LoadedSchema(const QString &path);
    ~LoadedSchema();

    xc::XSModel *model() const { return m_model; }
    QString targetNamespace() const { return m_targetNamespace; }
    // The file as given, quoted for messages.
    QString quotedFile() const { return m_quotedFile; }
    // The grammar pool, for a validating parser that reuses the schema.
    xc::XMLGrammarPool *pool() const { return m_pool.get(); }
    // The local files the schema is made of: itself, then what it includes
    // and imports.
    QStringList files() const { return m_files; }

private:
    XercesRuntime m_runtime; // first in, last out
    std::unique_ptr<xc::XMLGrammarPoolImpl> m_pool;
    xc::SecurityManager m_security;
    LocalResolver m_resolver;
    std::unique_ptr<xc::XercesDOMParser> m_parser;
    xc::XSModel *m_model = nullptr;
    QString m_targetNamespace;
    QString m_quotedFile;
    QStringList m_files;
};

// What tells that files changed since they were read: their sizes and
// modification times then.
class FileStamps
{
public:
    FileStamps() = default;
    explicit FileStamps(const QStringList &files);
    // Whether every file is as it was.
    bool current() const;

private:
    struct Stamp
    {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const Stamp &) const = default;
    };
    static Stamp stampOf(const QString &path);
    std::vector<Stamp> m_stamps;
};

// The security limits every Xerces parser of this program uses: entity
// expansion is bounded.
void ApplySecurityLimits(xc::XercesDOMParser &parser, xc::SecurityManager &manager);

} // namespace tarnwell
