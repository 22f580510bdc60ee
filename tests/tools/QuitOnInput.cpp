#include "QuitOnInput.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <unistd.h>

void QuitOnInput(QObject* parent)
{
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, parent);
    QObject::connect(input, &QSocketNotifier::activated, [] {
        char buf[64];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0 || QByteArray(buf, int(n)).contains("quit")) {
            QCoreApplication::quit();
        }
    });
}
