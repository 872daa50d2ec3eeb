// The checked store: a target patched into a document's text (or written as a new one) and read back.
#include "XmlStore.h"

#include "Error.h"
#include "PatchEmitter.h"
#include "StoreCommon.h"

namespace tarnwell::xml {

using store::storeError;

QByteArray patchDocument(const EncodedText &text, const LexDocument &lex, const DomDocument &dom, const Target &target,
                         const QString &fileName)
{
    return store::PatchEmitter(text, lex, dom, target, fileName).run();
}

CheckedStore storeChecked(const EncodedText &text, const LexDocument *lex, const DomDocument &dom, const Target &target,
                          const QString &fileName)
{
    CheckedStore out;
    out.bytes = lex ? patchDocument(text, *lex, dom, target, fileName) : newDocument(target, fileName);
    // The target's values in document order: the parse shares the strings
    // of the values it finds as sent.
    std::vector<const QString *> expected;
    expected.reserve(target.elements.size());
    for (std::vector<int> pending{0}; !target.elements.empty() && !pending.empty();) {
        const TargetElement &e = target.elements[static_cast<size_t>(pending.back())];
        pending.pop_back();
        expected.push_back(&e.value);
        pending.insert(pending.end(), e.children.rbegin(), e.children.rend());
    }
    try {
        out.dom = parseDocument(out.bytes, fileName, &expected);
    } catch (const ReadLimitError &e) {
        throw storeError(fileName, QStringLiteral("the result could not be read back: %1.").arg(e.limit()));
    } catch (const Error &e) {
        throw storeError(fileName, QStringLiteral("the result would not be well-formed (%1)").arg(e.description()));
    }
    QString where, why;
    if (!matchesTarget(out.dom, target, &where, &why)) {
        if (!why.isEmpty())
            throw storeError(fileName, why);
        throw storeError(fileName,
                         QStringLiteral("the result would not hold exactly the data sent (at %1).").arg(quoteForMessage(where)));
    }
    return out;
}

QByteArray newDocument(const Target &target, const QString &fileName)
{
    // Everything is new text: the emitter runs over an empty document.
    EncodedText none;
    LexDocument lex;
    DomDocument dom;
    return store::PatchEmitter(none, lex, dom, target, fileName).runNew();
}

} // namespace tarnwell::xml
