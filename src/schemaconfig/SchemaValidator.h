#pragma once

#include <QList>
#include <QString>

#include <memory>

// A document checked against its XML Schema with Xerces-C++: local files and
// what the XML catalogs map to local files only, no external DTD or entity,
// entity expansion bounded.
namespace tarnwell {

// One thing the validator found wrong.
struct ValidationProblem
{
    int line = 0;   // 1-based
    int column = 0; // 1-based, as the validator counts
    // The indexed path of the element it concerns, as the pair list writes
    // it ("Catalog/Book[2]/Price"); empty when it concerns no element.
    QString path;
    QString message;
};

struct ValidationResult
{
    enum class Status {
        Valid,      // checked, no problem
        Invalid,    // checked, problems listed
        NotChecked, // no check was possible; reason says why
    };
    Status status = Status::NotChecked;
    // The schema's file name as the panel shows it ("catalog.xsd"); empty
    // when no schema was found.
    QString schemaName;
    // Why there was no check: "no schema named", "catalog.xsd not found",
    // "http://… is not a local file", "the schema cannot be read: …", or that
    // the document itself cannot be read.
    QString reason;
    // The schema's local file, absolute, once it was found; else empty.
    QString schemaFile;
    // The schema's URL when no catalog maps it to a local file, else empty.
    QString unmappedUrl;
    QList<ValidationProblem> problems; // in document order; at most kMaxProblems
    bool moreProblems = false;         // problems were left out past kMaxProblems
};

class SchemaValidator
{
public:
    // The problems kept per check; a document in which everything is wrong
    // would otherwise fill memory with messages.
    static constexpr int kMaxProblems = 1000;

    SchemaValidator();
    ~SchemaValidator();
    SchemaValidator(const SchemaValidator &) = delete;
    SchemaValidator &operator=(const SchemaValidator &) = delete;

    // Checks the file at documentPath against schemaPath, or, when that is
    // empty, against the schema the document names with
    // xsi:noNamespaceSchemaLocation or xsi:schemaLocation (relative to the
    // document, or through the XML catalogs). A parsed schema is kept while
    // its files are unchanged, so a second check costs only the document.
    // Never throws; one check at a time per validator (calls are serialized).
    ValidationResult validate(const QString &documentPath, const QString &schemaPath = {});
    // Whether a text is first checked against the limits the editor reads
    // documents by, or is known to be within them (the provider's store
    // preview, which it read back by those limits).
    enum class ReadLimits { Check, KnownWithin };
    // The same check of a text not stored yet (what a store would write),
    // as if it were the file at documentPath.
    ValidationResult validateText(const QByteArray &bytes, const QString &documentPath, const QString &schemaPath = {},
                                  ReadLimits limits = ReadLimits::Check);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace tarnwell
