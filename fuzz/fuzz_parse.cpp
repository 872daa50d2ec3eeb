// Any bytes as a document: parsing, the pair list and locating the markup
// never crash, and storing a document's own pair list gives back its bytes.
#include "Error.h"
#include "XmlDocument.h"
#include "XmlLexer.h"
#include "XmlStore.h"
#include "XmlText.h"

#include <cstdlib>

using namespace tarnwell;
using namespace tarnwell::xml;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString name = QStringLiteral("fuzz.xml");
    try {
        const DomDocument dom = parseDocument(bytes, name);
        const QStringList pairs = pairListOf(dom);
        const EncodedText text = EncodedText::decode(bytes, dom.encoding, name);
        LexDocument lex;
        if (!lexDocument(text.utf8(), lex) || lex.elements.size() != dom.elements.size())
            return 0;
        const Target target = buildTarget(pairs, dom.elements[0].name, name);
        if (patchDocument(text, lex, dom, target, name) != bytes)
            std::abort(); // an unchanged list must leave every byte alone
    } catch (const Error &) {
    }
    return 0;
}
