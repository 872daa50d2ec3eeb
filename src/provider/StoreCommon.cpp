// What every part of the store writes with: its error, escaped text, blanks.
#include "StoreCommon.h"

#include "PathSyntax.h"

namespace tarnwell::xml::store {

Error storeError(const QString &fileName, const QString &why)
{
    return Error(QStringLiteral("%1 was not stored: %2").arg(quoteForMessage(fileName, 200), why), Error::Kind::Provider);
}

QByteArray escapeXml(const QString &value, char quote)
{
    QByteArray out;
    const QByteArray utf8 = value.toUtf8();
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '&': out.append("&amp;"); break;
        case '<': out.append("&lt;"); break;
        case '\r': out.append("&#13;"); break;
        case '>': out.append(quote ? ">" : "&gt;"); break;
        case '\t': out.append(quote ? "&#9;" : "\t"); break;
        case '\n': out.append(quote ? "&#10;" : "\n"); break;
        case '"': out.append(quote == '"' ? "&quot;" : "\""); break;
        case '\'': out.append(quote == '\'' ? "&apos;" : "'"); break;
        default: out.append(c);
        }
    }
    return out;
}

const QString &schemaInstanceNamespace()
{
    static const QString uri = kXsiNamespace.toString();
    return uri;
}

} // namespace tarnwell::xml::store
