#include "ErrorSuffix.h"

QString ErrorSuffix(int module, int error, int detail, int location)
{
    const QChar zero(QLatin1Char('0'));
    return QStringLiteral("\nError: %1_%2 {%3/%4}")
        .arg(module, 3, 10, zero)
        .arg(error, 3, 10, zero)
        .arg(detail, 3, 10, zero)
        .arg(location, 4, 10, zero);
}
