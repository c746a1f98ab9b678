#include "AddressText.h"

#include <QList>

bool IsDottedQuadText(const QString &text)
{
    const auto parts = QStringView(text).split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (QStringView part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        if (part.toInt() > 255)
            return false;
    }
    return true;
}
