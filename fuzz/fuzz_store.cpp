// A document and a pair list (after a line "--"): storing never crashes, and
// whatever it produces either matches the list or is refused.
#include "Error.h"
#include "XmlDocument.h"
#include "XmlLexer.h"
#include "XmlStore.h"
#include "XmlText.h"

using namespace tarnwell;
using namespace tarnwell::xml;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype split = input.indexOf("\n--\n");
    if (split < 0)
        return 0;
    const QByteArray bytes = input.left(split);
    const QStringList pairs = QString::fromUtf8(input.mid(split + 4)).split(QLatin1Char('\n'));
    const QString name = QStringLiteral("fuzz.xml");
    try {
        const DomDocument dom = parseDocument(bytes, name);
        const EncodedText text = EncodedText::decode(bytes, dom.encoding, name);
        LexDocument lex;
        if (!lexDocument(text.utf8(), lex) || lex.elements.size() != dom.elements.size())
            return 0;
        const Target target = buildTarget(pairs, dom.elements[0].name, name);
        const QByteArray stored = patchDocument(text, lex, dom, target, name);
        QString where;
        (void)matchesTarget(parseDocument(stored, name), target, &where);
    } catch (const Error &) {
    }
    return 0;
}
