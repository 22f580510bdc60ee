// Runs one piece of the download pipeline in its own process, for the benchmark.
//   pipeline_probe download URL FILE   download URL into FILE, resuming; prints "RESUME <bytes>" first and
//                                      "FINISH <ok> <ms since start> <ms of the transfer> <reason>" at the
//                                      end, then "LATENESS download ..." of the transfer
//   pipeline_probe install PACKAGE DIGEST FOLDER
//                                      verify and extract PACKAGE into FOLDER with the game installer
//                                      (which deletes PACKAGE); prints "VERIFIED <ms>",
//                                      "INSTALLED <ok> <ms of the extraction> <reason>" and
//                                      "LATENESS verify|extract ..."
//   pipeline_probe control             only the timer, until standard input closes: "LATENESS control ..."
// LATENESS lines come from LatenessMeter, with a timer on the thread that does the pipeline's work.
// Download and install print "BASE_RSS_KB <kB>" as their work begins; every mode ends by printing
// "PEAK_RSS_KB <kB>".
#include "DownFileMeta.h"
#include "FileDownloader.h"
#include "GameInstaller.h"
#include "LatenessMeter.h"
#include "ObjectRegistry.h"
#include "PathMng.h"
#include "QuitOnInput.h"
#include "RamDB.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

void Print(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Prints a memory figure of /proc/self/status ("VmRSS", "VmHWM") under the given tag, in kB.
void PrintMemory(const QByteArray& field, const char* tag)
{
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(field + ':')) {
                std::printf("%s %s\n", tag,
                            line.mid(field.size() + 1).trimmed().split(' ').first().constData());
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
    LatenessMeter meter;
    if (mode == "download" && args.size() == 4) {
        DownFileMeta meta;
        meta.Init(args.at(2), args.at(3), "1", "");
        std::printf("RESUME %lld\n", static_cast<long long>(meta.downloadedSize));
        std::fflush(stdout);
        FileDownloader downloader;
        QElapsedTimer transfer;
        QObject::connect(&downloader, &FileDownloader::Finish, [&](bool ok, const QString& reason) {
            meter.Stop();
            std::printf("FINISH %d %lld %lld %s\n", ok ? 1 : 0, static_cast<long long>(clock.elapsed()),
                        static_cast<long long>(transfer.elapsed()), qPrintable(reason.simplified()));
            Print(meter.Summary("LATENESS download"));
            QCoreApplication::exit(ok ? 0 : 1);
        });
        downloader.QuerySize(&meta, [&](bool ok, const QString& reason) {
            if (!ok) {
                std::printf("FINISH 0 0 0 %s\n", qPrintable(reason.simplified()));
                QCoreApplication::exit(1);
                return;
            }
            PrintMemory("VmRSS", "BASE_RSS_KB");
            transfer.start();
            meter.Start();
            downloader.Start(&meta);
        });
        status = QCoreApplication::exec();
    } else if (mode == "install" && args.size() == 5) {
        ObjectRegistry registry;
        RamDB db;
        PathMng paths;
        paths.registry = &registry;
        registry.Register(&db);
        registry.Register(&paths);
        db.SetString(GAME_LOCATION, args.at(4));
        db.SetValue(INSTALL_PACK_LIST, QStringList{args.at(2)});
        db.SetValue(INSTALL_VERSION_LIST, QStringList{"1"});
        db.SetValue(INSTALL_MD5_LIST, QStringList{args.at(3)});
        db.SetValue(INSTALL_DONE_LIST, QStringList());
        db.SetBool(IS_CLEAN_INSTALL, false);
        GameInstaller installer;
        installer.registry = &registry;
        QElapsedTimer phase;
        int phases = 0;
        // The status text changes once per phase: verification first, then extraction.
        QObject::connect(&installer, &GameInstaller::InstallVerChanged, [&] {
            if (++phases == 2) {
                meter.Stop();
                Print(QStringLiteral("VERIFIED %1").arg(phase.elapsed()));
                Print(meter.Summary("LATENESS verify"));
                phase.start();
                meter.Start();
            }
        });
        QObject::connect(&installer, &GameInstaller::Finish, [&](bool ok, const QString& reason) {
            meter.Stop();
            Print(QStringLiteral("INSTALLED %1 %2 %3")
                      .arg(ok ? 1 : 0)
                      .arg(phase.elapsed())
                      .arg(reason.simplified()));
            Print(meter.Summary(phases == 2 ? "LATENESS extract" : "LATENESS verify"));
            QCoreApplication::exit(ok ? 0 : 1);
        });
        PrintMemory("VmRSS", "BASE_RSS_KB");
        phase.start();
        meter.Start();
        installer.Install();
        status = QCoreApplication::exec();
    } else if (mode == "control" && args.size() == 2) {
        QuitOnInput(&app);
        meter.Start();
        status = QCoreApplication::exec();
        Print(meter.Summary("LATENESS control"));
    } else {
        std::fprintf(stderr,
                     "usage: pipeline_probe download URL FILE | install PACKAGE DIGEST FOLDER | control\n");
        return 2;
    }
    PrintMemory("VmHWM", "PEAK_RSS_KB");
    return status;
}
