#include "leadingnumber.h"

#include <limits>

qint64 LeadingNumber(QStringView text)
{
    constexpr qint64 Largest = std::numeric_limits<qint64>::max();
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') break;
        const int digit = c - u'0';
        if (value > (Largest - digit) / 10) return Largest;
        value = value * 10 + digit;
    }
    return value;
}
