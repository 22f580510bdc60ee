// Runs one piece of the download pipeline in its own process, for the crash-safety test and the benchmark.
//   pipeline_probe download URL FILE   download URL into FILE, resuming; prints "RESUME <bytes>" first and
//                                      "FINISH <ok> <ms since start> <ms of the transfer> <reason>" at the
//                                      end
//   pipeline_probe md5 FILE DIGEST     verify FILE; prints "VERDICT <ok> <milliseconds>"
//   pipeline_probe md5-quit FILE       start verifying FILE and quit the application 50 ms later
// Every mode ends by printing "PEAK_RSS_KB <kB>".
#include "CheckMd5Thread.h"
#include "DownFileMeta.h"
#include "FileDownloader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace {

void PrintPeakRss()
{
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:")) {
                std::printf("PEAK_RSS_KB %s\n", line.mid(6).trimmed().split(' ').first().constData());
            }
        }
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.value(1);
    QElapsedTimer clock;
    clock.start();
    int status = 2;
    if (mode == "download" && args.size() == 4) {
        DownFileMeta meta;
        meta.Init(args.at(2), args.at(3), "1", "");
        std::printf("RESUME %lld\n", static_cast<long long>(meta.downloadedSize));
        std::fflush(stdout);
        FileDownloader downloader;
        QElapsedTimer transfer;
        QObject::connect(&downloader, &FileDownloader::Finish, [&](bool ok, const QString& reason) {
            std::printf("FINISH %d %lld %lld %s\n", ok ? 1 : 0, static_cast<long long>(clock.elapsed()),
                        static_cast<long long>(transfer.elapsed()), qPrintable(reason.simplified()));
            QCoreApplication::exit(ok ? 0 : 1);
        });
        downloader.QuerySize(&meta, [&](bool ok, const QString& reason) {
            if (!ok) {
                std::printf("FINISH 0 0 0 %s\n", qPrintable(reason.simplified()));
                QCoreApplication::exit(1);
                return;
            }
            transfer.start();
            downloader.Start(&meta);
        });
        status = QCoreApplication::exec();
    } else if (mode == "md5" && args.size() == 4) {
        auto* thread = new CheckMd5Thread(&app);
        thread->filePath = args.at(2);
        thread->md5 = args.at(3);
        QObject::connect(thread, &CheckMd5Thread::OnOver, [&](bool ok, const QString&) {
            std::printf("VERDICT %d %lld\n", ok ? 1 : 0, static_cast<long long>(clock.elapsed()));
            QCoreApplication::exit(ok ? 0 : 1);
        });
        thread->start();
        status = QCoreApplication::exec();
    } else if (mode == "md5-quit" && args.size() == 3) {
        auto* thread = new CheckMd5Thread(&app);
        thread->filePath = args.at(2);
        thread->start();
        QTimer::singleShot(50, &app, &QCoreApplication::quit);
        status = QCoreApplication::exec();
        std::printf("QUIT %d\n", thread->isRunning() ? 1 : 0);
    } else {
        std::fprintf(stderr, "usage: pipeline_probe download URL FILE | md5 FILE DIGEST | md5-quit FILE\n");
        return 2;
    }
    PrintPeakRss();
    return status;
}
