#include "Captcha.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

namespace {

// Segments a-g of each digit, as bits 0-6.
constexpr int kSegments[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};

void DrawDigit(QPainter& painter, int digit, int x, int y)
{
    const int w = 14;
    const int h = 12;
    const int t = 3;
    const QRect bars[7] = {
        {x, y, w, t},     {x + w - t, y, t, h}, {x + w - t, y + h, t, h}, {x, y + 2 * h - t, w, t},
        {x, y + h, t, h}, {x, y, t, h},         {x, y + h - 1, w, t},
    };
    for (int segment = 0; segment < 7; ++segment) {
        if ((kSegments[digit] & (1 << segment)) != 0) {
            painter.fillRect(bars[segment], QColor(30, 60, 120));
        }
    }
}

} // namespace

QString Captcha::NewCode()
{
    return QString::number(QRandomGenerator::global()->bounded(1000, 10000));
}

QByteArray Captcha::Png(const QString& code)
{
    QImage image(100, 40, QImage::Format_RGB32);
    image.fill(QColor(235, 240, 245));
    QPainter painter(&image);
    QRandomGenerator* random = QRandomGenerator::global();
    for (int i = 0; i < 6; ++i) {
        painter.setPen(
            QColor(random->bounded(120, 220), random->bounded(120, 220), random->bounded(120, 220)));
        painter.drawLine(random->bounded(100), random->bounded(40), random->bounded(100),
                         random->bounded(40));
    }
    for (int i = 0; i < code.size(); ++i) {
        DrawDigit(painter, code.at(i).digitValue(), 8 + i * 22, 8);
    }
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}
