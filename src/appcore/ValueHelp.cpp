#include "ValueHelp.h"

#include "Error.h"

#include <QRegularExpression>

namespace tarnwell {

namespace {

// "attribute 'name': ..." as the validator words an attribute's problem.
const QRegularExpression &attributeProblem()
{
    static const QRegularExpression form(QStringLiteral("^attribute '([^']+)': "));
    return form;
}

} // namespace

QStringList ProblemsAt(const ValidationResult &result, const QString &indexedPath)
{
    const qsizetype at = indexedPath.lastIndexOf(QLatin1String("/@"));
    const QString element = at < 0 ? indexedPath : indexedPath.left(at);
    const QString attribute = at < 0 ? QString() : indexedPath.mid(at + 2);
    QStringList out;
    for (const ValidationProblem &p : result.problems) {
        if (p.path != element)
            continue;
        const QRegularExpressionMatch m = attributeProblem().match(p.message);
        if (attribute.isEmpty() ? !m.hasMatch() : m.hasMatch() && m.captured(1) == attribute)
            out.append(p.message);
    }
    return out;
}

QHash<QString, QStringList> ProblemsByPath(const ValidationResult &result)
{
    QHash<QString, QStringList> out;
    for (const ValidationProblem &p : result.problems) {
        if (p.path.isEmpty())
            continue;
        const QRegularExpressionMatch m = attributeProblem().match(p.message);
        out[m.hasMatch() ? p.path + QLatin1String("/@") + m.captured(1) : p.path].append(p.message);
    }
    return out;
}

QString ValueBoxHelp(const QString &schemaName, const NodeRule &rule, const QStringList &problems, const QString &lockedBy)
{
    QStringList lines;
    if (!lockedBy.isEmpty())
        lines.append(QStringLiteral("Read-only: the entity %1 gives it; change it in the XML View.").arg(lockedBy));
    if (rule.declared) {
        lines.append(QStringLiteral("Allowed by %1: %2.").arg(schemaName, rule.type));
        if (!rule.choices.isEmpty()) {
            constexpr qsizetype kMost = 30;
            QStringList quoted;
            for (qsizetype i = 0; i < rule.choices.size() && i < kMost; ++i)
                quoted.append(quoteForMessage(rule.choices[i], 100));
            QString text = quoted.join(QStringLiteral(", "));
            if (rule.choices.size() > kMost)
                text += QStringLiteral(" and %1 more").arg(rule.choices.size() - kMost);
            lines.append(QStringLiteral("One of: %1.").arg(text));
        }
        if (!rule.limits.isEmpty())
            lines.append(QStringLiteral("Limits: %1.").arg(rule.limits.join(QStringLiteral("; "))));
        lines.append(rule.required ? QStringLiteral("Required.") : QStringLiteral("Optional."));
    }
    for (const QString &p : problems)
        lines.append(QStringLiteral("Problem: %1").arg(p));
    return lines.join(u'\n');
}

} // namespace tarnwell
