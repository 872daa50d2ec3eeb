// The checked store: a target patched into a document's text (or written as a new one) and read back.
#pragma once

#include "NameHash.h"

#include "StoreTarget.h"
#include "XmlDocument.h"
#include "XmlLexer.h"
#include "XmlText.h"

#include <QHash>
#include <QStringList>
#include <optional>
#include <vector>

// Storing a pair list into a document by patching its text.
namespace tarnwell::xml {

// The new text of an existing document that holds target, in the document's
// own encoding. Everything target does not change keeps its bytes.
QByteArray patchDocument(const EncodedText &text, const LexDocument &lex, const DomDocument &dom,
                         const Target &target, const QString &fileName);

// A stored text, found to hold exactly its target, and its parse.
struct CheckedStore
{
    QByteArray bytes;
    DomDocument dom;
};

// The text of an existing document (or, when lex is null, of a new one) that
// holds target, parsed again and compared with target: throws, naming
// fileName and the first difference, when the result is not well-formed or
// would not read back as target.
CheckedStore storeChecked(const EncodedText &text, const LexDocument *lex, const DomDocument &dom, const Target &target,
                          const QString &fileName);

// The two halves of storeChecked. storeDraft makes the text, not read back
// yet; ownElements (when not null) receives the target the patch worked on
// when elements from entities were left to their references.
QByteArray storeDraft(const EncodedText &text, const LexDocument *lex, const DomDocument &dom, const Target &target,
                      const QString &fileName, std::optional<Target> *ownElements = nullptr);
// readBack parses bytes and throws the store's refusal when they do not
// hold exactly target (patched: what the patch worked on; entityRefs: the
// references it kept, for the message). Needs nothing of the document it
// came from, so it may run on another thread.
DomDocument readBack(const QByteArray &bytes, const Target &target, const QString &fileName,
                     const Target *patched = nullptr, const std::vector<QByteArray> *entityRefs = nullptr);

// The text of a new document holding target: UTF-8, an XML declaration, LF.
// Throws, naming fileName, when a name has a prefix (other than "xml"): a new
// document has no namespace to bind it to.
QByteArray newDocument(const Target &target, const QString &fileName = QString());

} // namespace tarnwell::xml
