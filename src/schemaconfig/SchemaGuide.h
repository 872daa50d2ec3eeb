#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

// What a document's schema allows at one of its nodes, read from the node's
// declaration, for the window to say while the user edits.
namespace tarnwell {

struct NodeRule
{
    bool declared = false;   // the schema declares the node where it stands
    QString type;            // in words, with the schema's name: "a positive integer (xs:positiveInteger)"
    QStringList choices;     // the values an enumeration or xs:boolean allows, in the schema's order
    QStringList limits;      // length, range, digit and pattern facets in words ("at most 10 characters")
    bool required = false;   // an element its parent must hold, or a required attribute
};

class SchemaGuide
{
public:
    // Reads the schema at schemaFile. prefixes holds (prefix, namespace name)
    // as the document's root declares them (an empty prefix: the default
    // namespace), so that names read as the document's paths write them.
    // Throws an Error naming the file when it cannot be read.
    SchemaGuide(const QString &schemaFile, const QList<std::pair<QString, QString>> &prefixes);
    ~SchemaGuide();
    SchemaGuide(const SchemaGuide &) = delete;
    SchemaGuide &operator=(const SchemaGuide &) = delete;

    // The schema's file.
    QString file() const;
    // Whether the files the schema is made of (itself, what it includes and
    // imports) are as they were when it was read.
    bool current() const;
    // The rule for the node at path: names without indexes from the root
    // down, an attribute last ("Order/Item/@sku"). Not declared when the
    // schema says nothing of it there. Not thread-safe: one thread asks.
    NodeRule ruleFor(const QString &path);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace tarnwell
