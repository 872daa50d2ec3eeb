#pragma once

#include <QString>

namespace tarnwell {

// What the schema panel of the status bar says about the check of the
// stored file against its schema. The window reports the check's progress;
// the texts are worked out here from plain values.
struct SchemaPanelState
{
    enum class Kind {
        None,       // no file bound: the panel is hidden
        Checking,   // a check runs
        Valid,      // checked, no problem
        Invalid,    // checked, problems found
        NotChecked, // no check was possible
    };
    Kind kind = Kind::None;
    QString schemaName;  // "catalog.xsd"
    qsizetype problems = 0;
    bool moreProblems = false; // more than the problems listed
    QString reason;      // why there was no check
    // What the check judged: the stored file, the changes in the tree not
    // stored yet (what PutData would write), or the text in the XML box.
    enum class Judged { StoredFile, UnsavedChanges, BoxText };
    Judged judged = Judged::StoredFile;
    QString advice; // how to make a check possible (map a URL in a catalog)
};

// The panel's one line: "Schema: checking…", "Schema: valid (catalog.xsd)",
// "Schema: 3 problems (catalog.xsd)", "Schema: not checked (REASON)"; empty
// for Kind::None.
QString SchemaPanelText(const SchemaPanelState &state);

// The panel's details (tool tip and accessible description): the whole
// state in a sentence, and, with problems, that stores are not refused for
// them and how to list them.
QString SchemaPanelDetails(const SchemaPanelState &state);

} // namespace tarnwell
