#pragma once

// The HTTP Date header (IMF-fixdate, "Sun, 06 Nov 1994 08:49:37 GMT"): a device's reply tells its
// clock by it even when it reads its clock to no one.

#include <QByteArray>
#include <QDateTime>

QByteArray HttpDate(const QDateTime &time);
// The time a Date header value gives, in UTC; invalid when it is no IMF-fixdate.
QDateTime ParseHttpDate(const QByteArray &value);
