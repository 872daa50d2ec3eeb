#include "LocalSources.h"

#include "Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <libxml/catalog.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlmemory.h>

#include <mutex>
#include <sys/stat.h>

namespace tarnwell {

namespace {

// A URL of some scheme, or nothing for a file name ("C:" counts as a
// drive letter, not a scheme).
bool hasScheme(const QUrl &url)
{
    return url.scheme().size() > 1;
}

QStringList &catalogNotes()
{
    static QStringList notes;
    return notes;
}

// The path a catalog's name stands for: a file name, or a file: URL; empty
// for a URL of another scheme.
QByteArray localCatalogPath(const char *name)
{
    const QByteArray given(name);
    const qsizetype colon = given.indexOf(':');
    const qsizetype slash = given.indexOf('/');
    if (colon > 1 && (slash < 0 || colon < slash)) {
        const QUrl url(QString::fromUtf8(given));
        return url.isLocalFile() ? QFile::encodeName(url.toLocalFile()) : QByteArray();
    }
    return given;
}

// libxml2 reads catalogs, and the ones they name (nextCatalog, delegate
// entries), through its input callbacks, which would fetch http: and ftp:
// URLs and wait on a FIFO without end. Only regular local files are let
// through; libxml2 reads documents from memory here, so nothing else is
// affected.
int regularLocalFile(const char *name)
{
    // libxml2 opens the name as given first, then its percent-decoded form:
    // both must be regular files where they exist. "-" would be standard
    // input.
    const QByteArray given(name);
    if (given == "-")
        return 0;
    const QByteArray path = localCatalogPath(name);
    struct stat st {};
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    for (const QByteArray &other : {given, QByteArray::fromPercentEncoding(given), QByteArray::fromPercentEncoding(path)}) {
        QByteArray local = other;
        if (local.startsWith("file://localhost/"))
            local = local.mid(16);
        else if (local.startsWith("file:///"))
            local = local.mid(7);
        if (::stat(local.constData(), &st) == 0 && !S_ISREG(st.st_mode))
            return 0;
    }
    return 1;
}

// Loads the catalogs of XML_CATALOG_FILES (else /etc/xml/catalog) that are
// regular local files, noting the others.
void loadLocalCatalogs()
{
    xmlInitParser();
    xmlCleanupInputCallbacks();
    xmlRegisterInputCallbacks(regularLocalFile, xmlFileOpen, xmlFileRead, xmlFileClose);
    const bool wasSet = qEnvironmentVariableIsSet("XML_CATALOG_FILES");
    const QByteArray env = qgetenv("XML_CATALOG_FILES");
    const QList<QByteArray> names = wasSet
                                        ? env.simplified().split(' ')
                                        : QList<QByteArray>{QByteArrayLiteral("/etc/xml/catalog")};
    QByteArrayList local;
    for (const QByteArray &name : names) {
        if (name.isEmpty())
            continue;
        const QByteArray path = localCatalogPath(name.constData());
        struct stat st {};
        if (path.isEmpty()) {
            catalogNotes().append(QStringLiteral("the catalog %1 is not read: catalogs are read from local files only")
                                      .arg(quoteForMessage(QString::fromUtf8(name), 200)));
        } else if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
            catalogNotes().append(QStringLiteral("the catalog %1 is not read: it is not a regular file")
                                      .arg(quoteForMessage(QFile::decodeName(path), 200)));
        } else if (::stat(path.constData(), &st) == 0) {
            local.append(path);
        }
    }
    // libxml2 reads the list of catalogs from the environment when it first
    // needs them; it is given only the local ones, and then the caller's
    // list is put back.
    qputenv("XML_CATALOG_FILES", local.join(' '));
    xmlInitializeCatalog();
    if (wasSet)
        qputenv("XML_CATALOG_FILES", env);
    else
        qunsetenv("XML_CATALOG_FILES");
}

// What the catalogs map text to, as a local file; empty when they map it to
// nothing local. URI entries are asked first, then system entries, as
// xmllint does for the documents it reads.
QString fromCatalogs(const QString &text)
{
    static std::once_flag once;
    std::call_once(once, loadLocalCatalogs);
    const QByteArray utf8 = text.toUtf8();
    const auto *key = reinterpret_cast<const xmlChar *>(utf8.constData());
    xmlChar *found = xmlCatalogResolveURI(key);
    if (!found)
        found = xmlCatalogResolveSystem(key);
    if (!found)
        return {};
    const QString mapped = QString::fromUtf8(reinterpret_cast<const char *>(found));
    xmlFree(found);
    const QUrl url(mapped);
    if (!hasScheme(url))
        return mapped;
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

} // namespace

bool IsRemoteLocation(const QString &location)
{
    const QUrl url(location);
    return hasScheme(url) && !url.isLocalFile();
}

QString ResolveLocalFile(const QString &location, const QString &base)
{
    if (location.isEmpty())
        return {};
    QUrl baseUrl(base);
    if (!hasScheme(baseUrl))
        baseUrl = QUrl::fromLocalFile(base);
    QUrl url(location);
    if (!hasScheme(url)) {
        // A relative URL: "%20" and the like stand for the characters of the
        // file name. Absolute as it stands, else beside the file that names
        // it (not in the working folder), or relative to a remote base.
        const QString name = QUrl::fromPercentEncoding(location.toUtf8());
        if (QDir::isAbsolutePath(name))
            return QDir::cleanPath(name);
        if (baseUrl.isLocalFile())
            return QFileInfo(QFileInfo(baseUrl.toLocalFile()).dir(), name).absoluteFilePath();
        url = baseUrl.resolved(QUrl(location));
    }
    if (url.isLocalFile())
        return url.toLocalFile();
    return fromCatalogs(url.toString());
}

QString SchemaForNamespace(const QString &namespaceName)
{
    if (namespaceName.isEmpty())
        return {};
    const QString file = fromCatalogs(namespaceName);
    return !file.isEmpty() && QFileInfo(file).isFile() ? file : QString();
}

QStringList CatalogNotes()
{
    return catalogNotes();
}

QString CatalogAdvice(const QString &url)
{
    return QStringLiteral("to use a local copy, map it in an XML catalog, for example with "
                          "\"xmlcatalog --noout --create --add uri '%1' file:///path/to/copy FILE\", "
                          "and name FILE in XML_CATALOG_FILES (or add the entry to /etc/xml/catalog)")
        .arg(url);
}

QString SchemaFileFromArgument(const QString &argument)
{
    if (!IsRemoteLocation(argument) && !argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return argument;
    const QString file = ResolveLocalFile(argument, QDir::currentPath() + u'/');
    if (file.isEmpty())
        throw Error(QStringLiteral("%1 is not a local file; %2.").arg(quoteForMessage(argument, 200), CatalogAdvice(argument)));
    return file;
}

} // namespace tarnwell
