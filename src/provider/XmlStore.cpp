// The checked store: a target patched into a document's text (or written as a new one) and read back.
#include "XmlStore.h"

#include "Error.h"
#include "PatchEmitter.h"
#include "StoreCommon.h"

#include <QSet>

#include <optional>

namespace tarnwell::xml {

using store::storeError;

QByteArray patchDocument(const EncodedText &text, const LexDocument &lex, const DomDocument &dom, const Target &target,
                         const QString &fileName)
{
    return store::PatchEmitter(text, lex, dom, target, fileName).run();
}

namespace {

// A name is markup: unlike text, a character the file's encoding cannot
// hold cannot be written in it as a reference. A new name that has one is
// refused, naming it, the character and the encoding.
void checkNamesEncodable(const EncodedText &text, const DomDocument &dom, const Target &target, const QString &fileName)
{
    if (!text.isLegacy())
        return;
    QSet<QString> known;
    for (const DomElement &e : dom.elements) {
        known.insert(e.name);
        for (const DomAttribute &a : e.attributes)
            known.insert(a.segment);
    }
    auto check = [&](const QString &name, const QString &shown) {
        if (known.contains(name))
            return;
        known.insert(name);
        try {
            text.encode(shown.toUtf8(), false, fileName);
        } catch (const Error &) {
            for (const QChar c : shown) {
                try {
                    text.encode(QString(c).toUtf8(), false, fileName);
                } catch (const Error &) {
                    throw storeError(fileName, QStringLiteral("the new name %1 cannot be written in the file's encoding %2 "
                                                              "(it cannot hold %3); choose another name, or store the "
                                                              "file in UTF-8.")
                                                   .arg(quoteForMessage(shown), text.encoding(), quoteForMessage(QString(c))));
                }
            }
        }
    };
    for (const TargetElement &e : target.elements) {
        check(e.name, e.name);
        for (const TargetAttribute &a : e.attributes) {
            if (!a.xsi)
                check(a.segment, a.segment.mid(1));
        }
    }
}

} // namespace

QByteArray storeDraft(const EncodedText &text, const LexDocument *lex, const DomDocument &dom, const Target &target,
                      const QString &fileName, std::optional<Target> *ownElements)
{
    if (lex)
        checkNamesEncodable(text, dom, target, fileName);
    // Elements from entities are written by their references, which the
    // patch keeps; it works on the rest.
    std::optional<Target> own;
    if (lex && dom.fileElements > 0 && dom.fileElements < dom.elements.size())
        own = withoutEntityElements(dom, target, fileName);
    QByteArray bytes = lex ? patchDocument(text, *lex, dom, own ? *own : target, fileName) : newDocument(target, fileName);
    if (ownElements)
        *ownElements = std::move(own);
    return bytes;
}

DomDocument readBack(const QByteArray &bytes, const Target &target, const QString &fileName, const Target *patched,
                     const std::vector<QByteArray> *entityRefs)
{
    // The target's values in document order: the parse shares the strings
    // of the values it finds as sent.
    const Target &written = patched ? *patched : target;
    std::vector<const QString *> expected;
    expected.reserve(written.elements.size());
    for (std::vector<int> pending{0}; !written.elements.empty() && !pending.empty();) {
        const TargetElement &e = written.elements[static_cast<size_t>(pending.back())];
        pending.pop_back();
        expected.push_back(&e.value);
        pending.insert(pending.end(), e.children.rbegin(), e.children.rend());
    }
    DomDocument dom;
    try {
        dom = parseDocument(bytes, fileName, &expected);
    } catch (const ReadLimitError &e) {
        throw storeError(fileName, QStringLiteral("the result could not be read back: %1.").arg(e.limit()));
    } catch (const Error &e) {
        throw storeError(fileName, QStringLiteral("the result would not be well-formed (%1)").arg(e.description()));
    }
    QString where, why;
    if (!matchesTarget(dom, target, &where, &why)) {
        if (!why.isEmpty())
            throw storeError(fileName, why);
        // Elements from an entity are written by its reference, and a new
        // element beside them may not come out where the list puts it.
        if (entityRefs && !entityRefs->empty()) {
            QStringList refs;
            for (const QByteArray &ref : *entityRefs)
                refs.append(quoteForMessage(QString::fromUtf8(ref)));
            throw storeError(fileName, QStringLiteral("the result would not hold exactly the data sent (at %1): an element "
                                                      "next to the elements of the entity %2, whose text holds markup, "
                                                      "cannot be placed there; put it elsewhere, or change that part in "
                                                      "the XML View.")
                                           .arg(quoteForMessage(where), refs.join(QStringLiteral(", "))));
        }
        throw storeError(fileName,
                         QStringLiteral("the result would not hold exactly the data sent (at %1).").arg(quoteForMessage(where)));
    }
    return dom;
}

CheckedStore storeChecked(const EncodedText &text, const LexDocument *lex, const DomDocument &dom, const Target &target,
                          const QString &fileName)
{
    std::optional<Target> ownElements;
    CheckedStore out;
    out.bytes = storeDraft(text, lex, dom, target, fileName, &ownElements);
    out.dom = readBack(out.bytes, target, fileName, ownElements ? &*ownElements : nullptr,
                       ownElements ? &dom.markupEntityRefs : nullptr);
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
