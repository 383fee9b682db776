#include "statewords.h"

#include "leadingnumber.h"

QString RemoveBlanks(const QString &text)
{
    QString result = text;
    result.remove(u' ');
    return result;
}

bool IsWaitingState(const QString &state)
{
    return RemoveBlanks(state).isEmpty();
}

QString StateDoneSameAs(const QString &name)
{
    return QStringLiteral("Done (same as %1)").arg(name);
}

bool IsDoneState(const QString &state)
{
    return state.toUpper() == QLatin1StringView("DONE") ||
           (state.startsWith(QLatin1StringView("Done (same as "), Qt::CaseInsensitive) &&
            state.endsWith(QLatin1Char(')')));
}

MultipartMarker ParseMultipartMarker(const QString &text)
{
    const QString bare = RemoveBlanks(text);
    if (bare.isEmpty()) return {MultipartMarker::Single, 0};
    if (bare.toUpper() == QLatin1StringView("TRUE")) return {MultipartMarker::NotSplit, 0};
    return {MultipartMarker::Resume, LeadingNumber(bare)};
}
