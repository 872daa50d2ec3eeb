#pragma once

#include "Quen.h"

namespace tarnwell {

// The "QuenProv.Tarnwell" provider: XML files on disk.
//
// BindFile(path, "") reads and parses the file at once; BindFile(path,
// "@Create") binds a new, empty document and touches the disk only at the
// first store. Its files answer "GetData" (the pair list), "PutData" (store
// a pair list by patching the document's text) and "PutDataPreview" (the
// bytes PutData would write, checked as for a store, as a byte array; nothing
// is written), and carry the raw text as Content.
class TarnwellProvider : public QuenProvider
{
public:
    // Files larger than this are refused.
    static constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

    std::shared_ptr<QuenFile> BindFile(const QString &path, const QString &option) override;
};

} // namespace tarnwell
