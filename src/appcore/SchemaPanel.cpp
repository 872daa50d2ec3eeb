#include "SchemaPanel.h"

namespace tarnwell {

QString SchemaPanelText(const SchemaPanelState &state)
{
    using Kind = SchemaPanelState::Kind;
    switch (state.kind) {
    case Kind::None:
        return {};
    case Kind::Checking:
        return QStringLiteral("Schema: checking…");
    case Kind::Valid:
        return QStringLiteral("Schema: valid (%1)").arg(state.schemaName);
    case Kind::Invalid:
        return QStringLiteral("Schema: %1%2 problem%3 (%4)")
            .arg(state.moreProblems ? QStringLiteral("more than ") : QString())
            .arg(state.problems)
            .arg(state.problems == 1 && !state.moreProblems ? QString() : QStringLiteral("s"))
            .arg(state.schemaName);
    case Kind::NotChecked:
        return QStringLiteral("Schema: not checked (%1)").arg(state.reason);
    }
    return {};
}

QString SchemaPanelDetails(const SchemaPanelState &state)
{
    using Kind = SchemaPanelState::Kind;
    switch (state.kind) {
    case Kind::None:
        return {};
    case Kind::Checking:
        return QStringLiteral("The stored file is being checked against its schema.");
    case Kind::Valid:
        return QStringLiteral("The stored file is valid against %1.").arg(state.schemaName);
    case Kind::Invalid:
        return QStringLiteral("%1: the stored file breaks %2 here. Stores are not refused for that, so a change can "
                              "be stored halfway. Activate this panel to list the problems and go to one.")
            .arg(SchemaPanelText(state), state.schemaName);
    case Kind::NotChecked:
        return QStringLiteral("The stored file was not checked against a schema: %1.").arg(state.reason);
    }
    return {};
}

} // namespace tarnwell
