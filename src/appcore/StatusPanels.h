#pragma once

#include <QString>
#include <optional>

namespace tarnwell {

// What the status bar's panels after the first one say: the open file and
// whether the tree holds changes not stored yet, why the last File > Open or
// New bound nothing, and the configuration in use. The window reports what
// happened; the texts are worked out here from plain values.
class StatusPanels
{
public:
    static constexpr QStringView kUnsavedMark = u"* ";
    static constexpr QStringView kNewSuffix = u" (new)";
    static constexpr QStringView kNoConfiguration = u"No TarnwellEditor.cfg beside the editor: values are read-only";

    // File > Open (isNew false) or File > New (true) bound path. The tree
    // starts out empty, so there is nothing unsaved.
    void fileBound(const QString &path, bool isNew);
    // File > Open or New bound nothing; description tells why.
    void fileRefused(const QString &description);
    // A value edit, Add or Delete changed the tree.
    void treeChanged() { m_unsaved = m_path.has_value(); }
    // The tree was loaded from the file.
    void treeLoaded() { m_unsaved = false; }
    // The tree was stored in the file.
    void treeStored();
    // The configuration was read from path (present: the file was there)
    // and gave entries paths in list E.
    void configurationRead(const QString &path, bool present, qsizetype entries);

    bool hasUnsavedChanges() const { return m_unsaved; }

    // The open file's name, marked while there are unsaved changes; empty
    // when no file is bound.
    QString fileText() const;
    // The full path and whether there are unsaved changes.
    QString fileDetails() const;
    // The open file's name as a voice says it: "report.xml, new, unsaved
    // changes"; empty when no file is bound.
    QString fileSpoken() const;
    // Why the last Open or New bound nothing; empty after a success.
    QString refusalText() const { return m_refusal; }
    QString configurationText() const { return m_configurationText; }
    QString configurationDetails() const { return m_configurationDetails; }

private:
    std::optional<QString> m_path;
    bool m_isNew = false;
    bool m_unsaved = false;
    QString m_refusal;
    QString m_configurationText;
    QString m_configurationDetails;
};

} // namespace tarnwell
