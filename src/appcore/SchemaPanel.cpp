#include "SchemaPanel.h"

namespace tarnwell {

QString SchemaPanelText(const SchemaPanelState &state)
{
    using Kind = SchemaPanelState::Kind;
    using Judged = SchemaPanelState::Judged;
    const QString problems = QStringLiteral("%1%2 problem%3")
                                 .arg(state.moreProblems ? QStringLiteral("more than ") : QString())
                                 .arg(state.problems)
                                 .arg(state.problems == 1 && !state.moreProblems ? QString() : QStringLiteral("s"));
    // The texts for the stored file, and ones of the same form for what is
    // not stored yet.
    const QString what = state.judged == Judged::UnsavedChanges ? QStringLiteral("unsaved changes")
                         : state.judged == Judged::BoxText      ? QStringLiteral("the XML box's text")
                                                                : QString();
    switch (state.kind) {
    case Kind::None:
        return {};
    case Kind::Checking:
        return what.isEmpty() ? QStringLiteral("Schema: checking…") : QStringLiteral("Schema: checking %1…").arg(what);
    case Kind::Valid:
        return what.isEmpty() ? QStringLiteral("Schema: valid (%1)").arg(state.schemaName)
                              : QStringLiteral("Schema: %1 valid (%2)").arg(what, state.schemaName);
    case Kind::Invalid:
        return what.isEmpty() ? QStringLiteral("Schema: %1 (%2)").arg(problems, state.schemaName)
                              : QStringLiteral("Schema: %1 in %2 (%3)").arg(problems, what, state.schemaName);
    case Kind::NotChecked:
        return what.isEmpty() ? QStringLiteral("Schema: not checked (%1)").arg(state.reason)
                              : QStringLiteral("Schema: %1 not checked (%2)").arg(what, state.reason);
    }
    return {};
}

QString SchemaPanelDetails(const SchemaPanelState &state)
{
    using Kind = SchemaPanelState::Kind;
    using Judged = SchemaPanelState::Judged;
    const QString subject = state.judged == Judged::UnsavedChanges
                                ? QStringLiteral("The changes not stored yet (what PutData would store)")
                            : state.judged == Judged::BoxText ? QStringLiteral("The text in the XML box (what Write would store)")
                                                              : QStringLiteral("The stored file");
    switch (state.kind) {
    case Kind::None:
        return {};
    case Kind::Checking:
        return QStringLiteral("%1 is being checked against its schema.").arg(subject);
    case Kind::Valid:
        return QStringLiteral("%1 is valid against %2.").arg(subject, state.schemaName);
    case Kind::Invalid:
        return QStringLiteral("%1: %2 breaks %3 here. Stores are not refused for that, so a change can be stored "
                              "halfway. Activate this panel to list the problems and go to one.")
            .arg(SchemaPanelText(state), subject.left(1).toLower() + subject.mid(1), state.schemaName);
    case Kind::NotChecked:
        return QStringLiteral("%1 was not checked against a schema: %2.%3")
            .arg(subject, state.reason, state.advice.isEmpty() ? QString() : u' ' + state.advice.left(1).toUpper() + state.advice.mid(1) + u'.');
    }
    return {};
}

} // namespace tarnwell
