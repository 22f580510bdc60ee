#include "QuitOnInput.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <QThread>

#include <cstdio>
#include <cstring>
#else
#include <QSocketNotifier>

#include <unistd.h>
#endif

void QuitOnInput(QObject* parent)
{
#ifdef Q_OS_WIN
    // Windows has no notifier for a pipe: a thread reads it, and the quit it asks for ends the thread first.
    QThread* reader = QThread::create([] {
        char line[64];
        while (std::fgets(line, sizeof line, stdin) != nullptr && std::strstr(line, "quit") == nullptr) {
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    reader->setParent(parent);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, reader,
                     [reader] { reader->wait(); });
    reader->start();
#else
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, parent);
    QObject::connect(input, &QSocketNotifier::activated, [] {
        char buf[64];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0 || QByteArray(buf, int(n)).contains("quit")) {
            QCoreApplication::quit();
        }
    });
#endif
}
