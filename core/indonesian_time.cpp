#include "core/indonesian_time.h"

#include <QLocale>

namespace pelantra {

std::string IndonesianDateTime(const QDateTime& moment)
{
    return QLocale(QLocale::Indonesian, QLocale::Indonesia)
        .toString(moment.toLocalTime(), QStringLiteral("d MMMM yyyy HH.mm.ss"))
        .toStdString();
}

} // namespace pelantra
