#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

// Where each element, attribute and piece of content stands in a document's
// UTF-8 text. The text has already been found well-formed by libxml2; this
// only records byte ranges so that the store can patch the text in place.
namespace tarnwell::xml {

struct LexAttribute
{
    QByteArrayView name;      // qualified name as written (a view on the text)
    qsizetype start = 0;      // first character of the name
    qsizetype valueStart = 0; // first character inside the quotes
    qsizetype valueEnd = 0;   // the closing quote
};

struct LexItem
{
    enum Kind { Text, CData, Comment, PI, Element };
    Kind kind = Text;
    qsizetype start = 0;
    qsizetype end = 0;  // one past the last character
    int element = -1;   // index into LexDocument::elements for Element items
};

struct LexElement
{
    QByteArrayView name; // a view on the text
    int parent = -1;
    qsizetype start = 0;        // the '<' of the start tag
    qsizetype nameEnd = 0;      // one past the name in the start tag
    qsizetype tagClose = 0;     // the '>' of the start tag, or the '/' of "/>"
    qsizetype contentStart = 0; // one past the start tag
    qsizetype contentEnd = 0;   // the '<' of the end tag (contentStart when empty)
    qsizetype end = 0;          // one past the end tag (or the "/>")
    bool selfClosing = false;
    std::vector<LexAttribute> attributes;
    std::vector<LexItem> content;
    std::vector<int> children; // element children in order
};

struct LexDocument
{
    std::vector<LexElement> elements; // in document order; 0 is the root
};

// Records the ranges of a well-formed document's text. Returns false when the
// text does not have the expected shape (which a well-formed text always has).
// The names are views on utf8, which must outlive out. childCounts, when
// known (the number of element children of each element, in document
// order), sizes the tables up front instead of growing them.
bool lexDocument(const QByteArray &utf8, LexDocument &out, const std::vector<size_t> *childCounts = nullptr);

} // namespace tarnwell::xml
