#pragma once

#include "SchemaGuide.h"
#include "SchemaValidator.h"

#include <QHash>
#include <QString>
#include <QStringList>

// What the window says about the selected node's value: what its schema
// allows there, and why the value breaks it. The value box's tooltip and
// accessible description carry the same text, so a screen reader hears it.
namespace tarnwell {

// The problems of result that concern the node at indexedPath (the pair
// list's path of an element or an attribute): an element's are those the
// validator placed at it, an attribute's those of its element that name it.
QStringList ProblemsAt(const ValidationResult &result, const QString &indexedPath);

// The problems of result by indexed path, attributes' problems under the
// attribute's path, for the tree items' tooltips.
QHash<QString, QStringList> ProblemsByPath(const ValidationResult &result);

// The help for a node: "Allowed by report.xsd: a positive integer
// (xs:positiveInteger).", the choices, the limits, whether it is required,
// then each problem. Empty when the schema says nothing of the node and the
// value breaks nothing.
// lockedBy, when not empty, is the entity whose text gives the node: it
// comes first, as the node is read-only.
QString ValueBoxHelp(const QString &schemaName, const NodeRule &rule, const QStringList &problems,
                     const QString &lockedBy = QString());

} // namespace tarnwell
