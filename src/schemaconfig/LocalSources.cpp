#include "LocalSources.h"

#include "Error.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <libxml/catalog.h>
#include <libxml/xmlmemory.h>

#include <mutex>

namespace tarnwell {

namespace {

// A URL of some scheme, or nothing for a file name ("C:" counts as a
// drive letter, not a scheme).
bool hasScheme(const QUrl &url)
{
    return url.scheme().size() > 1;
}

// What the catalogs map text to, as a local file; empty when they map it to
// nothing local. URI entries are asked first, then system entries, as
// xmllint does for the documents it reads.
QString fromCatalogs(const QString &text)
{
    static std::once_flag once;
    std::call_once(once, [] { xmlInitializeCatalog(); });
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
