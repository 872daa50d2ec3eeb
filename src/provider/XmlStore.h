// The checked store: a target patched into a document's text (or written as a new one) and read back.
#pragma once

#include "NameHash.h"

#include "StoreTarget.h"
#include "XmlDocument.h"
#include "XmlLexer.h"
#include "XmlText.h"

#include <QHash>
#include <QStringList>
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

// The text of a new document holding target: UTF-8, an XML declaration, LF.
// Throws, naming fileName, when a name has a prefix (other than "xml"): a new
// document has no namespace to bind it to.
QByteArray newDocument(const Target &target, const QString &fileName = QString());

} // namespace tarnwell::xml
