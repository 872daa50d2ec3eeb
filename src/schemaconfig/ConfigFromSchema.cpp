#include "ConfigFromSchema.h"

#include "Error.h"

namespace tarnwell {

SchemaConfig ConfigFromSchema(const QString &xsdPath, const QString &root, const QString &prefix)
{
    Q_UNUSED(root);
    Q_UNUSED(prefix);
    throw Error(QStringLiteral("%1 cannot be read.").arg(quoteForMessage(xsdPath, 200)));
}

} // namespace tarnwell
