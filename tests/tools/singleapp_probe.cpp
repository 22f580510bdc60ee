// Runs the single-instance decision like the launcher does and reports what became of it:
// "PRIMARY <pid> <block name>" when it runs, "INSTANCE_STARTED" for each later start it hears of.
// It ends when its standard input closes or reads "quit".
#include "SingleApplication.h"
#include "SingleApplicationPrivate.h"

#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    SingleApplication app(argc, argv, false, SingleApplication::UserScope, 100);
    std::printf("PRIMARY %lld %s\n", static_cast<long long>(QCoreApplication::applicationPid()),
                qPrintable(SingleApplicationPrivate::DeriveBlockName(SingleApplication::UserScope)));
    std::fflush(stdout);
    QObject::connect(&app, &SingleApplication::instanceStarted, [] {
        std::printf("INSTANCE_STARTED\n");
        std::fflush(stdout);
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[64];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0 || QByteArray(buf, int(n)).contains("quit")) {
            QCoreApplication::quit();
        }
    });
    return QCoreApplication::exec();
}
