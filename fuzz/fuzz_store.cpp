// A document, then a line "--", then bytes that choose edits: the edits are
// made from the document's own pair list the way the editor makes them
// (values, added children, deletions). Every such store succeeds and reads
// back as the list sent, except the documented refusals.
#include "Error.h"
#include "PairList.h"
#include "StoreEdits.h"
#include "XmlDocument.h"
#include "XmlLexer.h"
#include "XmlStore.h"
#include "XmlText.h"

#include <cstdio>
#include <cstdlib>

using namespace tarnwell;
using namespace tarnwell::xml;

namespace {

// Refusals that are part of the store's contract.
bool documentedRefusal(const QString &description)
{
    return description.contains(QLatin1String("whose text holds markup")) // an entity holding elements
           || description.contains(QLatin1String("nests elements deeper than")) // the nesting limit
           || description.contains(QLatin1String("which name the same attribute")) // p:a and q:a, p and q one namespace
           || description.contains(QLatin1String("has text between its child elements")); // a changed value there
}

[[noreturn]] void fail(const QString &what, const QStringList &log, const QStringList &sent)
{
    std::fprintf(stderr, "%s\nedits: %s\nsent:\n%s\n", qPrintable(what), qPrintable(log.join(QStringLiteral("; "))),
                 qPrintable(sent.join(QLatin1Char('\n'))));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype split = input.indexOf("\n--\n");
    if (split < 0)
        return 0;
    const QByteArray bytes = input.left(split);
    const QByteArray choices = input.mid(split + 4);
    qsizetype next = 0;
    const storeedits::Choose choose = [&](unsigned n) {
        const unsigned byte = next < choices.size() ? static_cast<unsigned char>(choices[next++]) : 0u;
        return byte % n;
    };
    const QString name = QStringLiteral("fuzz.xml");

    DomDocument dom;
    EncodedText text;
    LexDocument lex;
    QStringList pairs;
    try {
        dom = parseDocument(bytes, name);
        text = EncodedText::decode(bytes, dom.encoding, name); // a stateful encoding is refused here
        pairs = pairListOf(dom);
    } catch (const Error &) {
        return 0;
    }
    if (!lexDocument(text.utf8(), lex) || lex.elements.size() != dom.elements.size())
        return 0;

    QStringList log;
    QStringList sent;
    try {
        sent = storeedits::edit(pairs, storeedits::configurationFor(pairs), choose, 4, &log);
    } catch (const Error &) {
        return 0; // more entries than a tree may hold
    }
    try {
        const Target target = buildTarget(sent, dom.elements[0].name, name);
        const CheckedStore stored = storeChecked(text, &lex, dom, target, name);
        if (storeedits::comparable(pairListOf(stored.dom)) != storeedits::expectedAfterStore(sent))
            fail(QStringLiteral("read back differently"), log, sent);
    } catch (const Error &e) {
        if (!documentedRefusal(e.description()))
            fail(e.description(), log, sent);
    }
    return 0;
}
