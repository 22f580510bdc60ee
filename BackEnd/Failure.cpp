#include "Failure.h"

QString Failure::Text() const
{
    const QString text = reason + ErrorSuffix(module, error, detail, location);
    return cause.isEmpty() ? text : text + '\n' + cause;
}
