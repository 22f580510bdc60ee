#pragma once

#include <QByteArray>
#include <QString>

// Captcha pictures: digits drawn as seven-segment bars, so no font is needed to make them.
class Captcha
{
public:
    static QString NewCode();
    static QByteArray Png(const QString& code);
};
