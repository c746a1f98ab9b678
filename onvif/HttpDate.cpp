#include "HttpDate.h"

#include <QLocale>

namespace {
// English day and month names whatever the user's locale.
const QString kFormat = QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'");
} // namespace

QByteArray HttpDate(const QDateTime &time)
{
    return QLocale::c().toString(time.toUTC(), kFormat).toLatin1();
}

QDateTime ParseHttpDate(const QByteArray &value)
{
    const QDateTime time = QLocale::c().toDateTime(QString::fromLatin1(value.trimmed()), kFormat);
    if (!time.isValid())
        return {};
    return QDateTime(time.date(), time.time(), Qt::UTC);
}
