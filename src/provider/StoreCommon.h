// What every part of the store writes with: its error, escaped text, blanks.
#pragma once

#include "Error.h"

#include <QByteArray>
#include <QString>

namespace tarnwell::xml::store {

// The error of a store of fileName that was refused, saying why.
Error storeError(const QString &fileName, const QString &why);

// value written as element content (quote 0) or inside an attribute value
// delimited by quote. In attributes, tabs and line breaks become character
// references so that attribute normalisation keeps them; a carriage return
// always does, so that line-end normalisation keeps it.
QByteArray escapeXml(const QString &value, char quote = 0);

// The schema-instance namespace, held once so that look-ups can point at it.
const QString &schemaInstanceNamespace();

inline bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace tarnwell::xml::store
