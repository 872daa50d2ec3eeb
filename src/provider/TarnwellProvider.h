#pragma once

#include "Quen.h"

#include <QMetaType>
#include <memory>
#include <vector>

namespace tarnwell {

namespace xml {
struct Target;
}

// What "PutDataDraft" gives: the bytes a PutData would write, not read back
// yet, and what they must read back as (the provider's own).
struct StoreDraft
{
    QByteArray bytes;
    QString path;
    std::shared_ptr<const xml::Target> target;  // as the pair list gives it
    std::shared_ptr<const xml::Target> written; // what the patch wrote, when entities' elements were left out
    std::vector<QByteArray> entityRefs;         // the references it kept then
};

// The "QuenProv.Tarnwell" provider: XML files on disk.
//
// BindFile(path, "") reads and parses the file at once; BindFile(path,
// "@Create") binds a new, empty document and touches the disk only at the
// first store. Its files answer "GetData" (the pair list), "PutData" (store
// a pair list by patching the document's text), "PutDataPreview" (the
// bytes PutData would write, checked as for a store, as a byte array; nothing
// is written), "PutDataDraft" (a StoreDraft: the same bytes, not read back
// yet; see DraftRefusal) and "EntityNodes" ("&name;<TAB>path" for each node of the
// last GetData that an entity's text gives, read-only), and carry the raw
// text as Content.
class TarnwellProvider : public QuenProvider
{
public:
    // Files larger than this are refused.
    static constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

    // Reads back draft, what "PutDataDraft" gave: empty when a PutData would
    // store it, else the refusal PutData would give. Needs no file object,
    // so it may run on any thread while the draft is checked otherwise.
    static QString DraftRefusal(const StoreDraft &draft);

    std::shared_ptr<QuenFile> BindFile(const QString &path, const QString &option) override;
};

} // namespace tarnwell

Q_DECLARE_METATYPE(tarnwell::StoreDraft)
