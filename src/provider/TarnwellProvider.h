#pragma once

#include "Quen.h"

namespace tarnwell {

// The "QuenProv.Tarnwell" provider: XML files on disk.
//
// BindFile(path, "") reads and parses the file at once; BindFile(path,
// "@Create") binds a new, empty document and touches the disk only at the
// first store. Its files answer "GetData" (the pair list), "PutData" (store
// a pair list by patching the document's text), "PutDataPreview" (the
// bytes PutData would write, checked as for a store, as a byte array; nothing
// is written), "PutDataDraft" (the same bytes, not read back yet: see
// DraftRefusal) and "EntityNodes" ("&name;<TAB>path" for each node of the
// last GetData that an entity's text gives, read-only), and carry the raw
// text as Content.
class TarnwellProvider : public QuenProvider
{
public:
    // Files larger than this are refused.
    static constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

    // Reads back draft, what "PutDataDraft" gave for pairs and the file at
    // path: empty when a PutData would store it, else the refusal PutData
    // would give. Needs no file object, so it may run on any thread while
    // the draft is checked otherwise.
    static QString DraftRefusal(const QByteArray &draft, const QStringList &pairs, const QString &path);

    std::shared_ptr<QuenFile> BindFile(const QString &path, const QString &option) override;
};

} // namespace tarnwell
