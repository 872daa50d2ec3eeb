// Any bytes as a schema: the bounds checked before Xerces reads it (nesting,
// what content models unfold into) and the check of a small document against
// it never crash or take without bound; a schema beyond the bounds is "not
// checked".
#include "SchemaValidator.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tarnwell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static SchemaValidator validator;
    static const QString document = [] {
        const QString path = dir.filePath(QStringLiteral("doc.xml"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("<r a=\"1\"><a>x</a><b/></r>");
        return path;
    }();
    const QString schema = dir.filePath(QStringLiteral("fuzz.xsd"));
    {
        QFile f(schema);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    (void)validator.validate(document, schema);
    return 0;
}
