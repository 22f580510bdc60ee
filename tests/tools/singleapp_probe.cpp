// Runs the single-instance decision like the launcher does and reports what became of it:
// "PRIMARY <pid> <block name>" when it runs, "INSTANCE_STARTED" for each later start it hears of.
// It ends when its standard input closes or reads "quit". With AVIRO_START_AT (milliseconds since the
// epoch) in its environment it waits until that moment before it starts, so that several starts race.
#include "QuitOnInput.h"
#include "SingleApplication.h"
#include "SingleApplicationPrivate.h"

#include <QDateTime>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv)
{
    const qint64 startAt = qgetenv("AVIRO_START_AT").toLongLong();
    while (QDateTime::currentMSecsSinceEpoch() < startAt) {
        QThread::usleep(100);
    }
    SingleApplication app(argc, argv, false, SingleApplication::UserScope, 100);
    std::printf("PRIMARY %lld %s\n", static_cast<long long>(QCoreApplication::applicationPid()),
                qPrintable(SingleApplicationPrivate::DeriveBlockName(SingleApplication::UserScope)));
    std::fflush(stdout);
    QObject::connect(&app, &SingleApplication::instanceStarted, [] {
        std::printf("INSTANCE_STARTED\n");
        std::fflush(stdout);
    });
    QuitOnInput(&app);
    return QCoreApplication::exec();
}
