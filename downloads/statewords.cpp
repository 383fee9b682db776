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

bool IsDoneState(const QString &state)
{
    return state.toUpper() == QLatin1StringView("DONE");
}

MultipartMarker ParseMultipartMarker(const QString &text)
{
    const QString bare = RemoveBlanks(text);
    if (bare.isEmpty()) return {MultipartMarker::Single, 0};
    if (bare.toUpper() == QLatin1StringView("TRUE")) return {MultipartMarker::NotSplit, 0};
    return {MultipartMarker::Resume, LeadingNumber(bare)};
}
