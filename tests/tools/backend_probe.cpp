// Runs the back end the way the launcher's main does, without a window, and ends the way main ends: it
// quits the application when standard input reads "quit" or closes, then destroys the back end before the
// application object.
//   backend_probe game LOCATION             runs the installed game of the product SkyTrainer at LOCATION
//   backend_probe install LOCATION PACKAGE  installs PACKAGE into LOCATION; prints "PROGRESS" once the
//                                           installer reports progress
#include "BackEnd.h"
#include "QuitOnInput.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.value(1);
    if (!(mode == "game" && args.size() == 3) && !(mode == "install" && args.size() == 4)) {
        std::fprintf(stderr, "usage: backend_probe game LOCATION | install LOCATION PACKAGE\n");
        return 2;
    }
    auto backEnd = std::make_unique<BackEnd>(&app);
    QString error;
    if (!backEnd->Init(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 3;
    }
    auto* db = backEnd->Peer<RamDB>();
    db->SetString(GAME_LOCATION, args.at(2));
    db->SetString(PRODUCT_CODE, QStringLiteral("SkyTrainer"));
    db->SetString(USER_ACCOUNT, QStringLiteral("pilot@example.com"));
    if (mode == "game") {
        if (!backEnd->Peer<GameLauncher>()->IsInstalled(QString())) {
            std::fprintf(stderr, "no game at %s\n", qPrintable(args.at(2)));
            return 4;
        }
        backEnd->launcherOp()->runGame();
    } else {
        db->SetValue(INSTALL_PACK_LIST, QStringList{args.at(3)});
        db->SetValue(INSTALL_VERSION_LIST, QStringList{QStringLiteral("9.9.9.9")});
        db->SetValue(INSTALL_MD5_LIST, QStringList{QStringLiteral("00")});
        db->SetBool(IS_CLEAN_INSTALL, false);
        auto* installer = backEnd->Peer<GameInstaller>();
        QObject::connect(installer, &GameInstaller::ProgressBar, installer, [] {
            static bool told = false;
            if (!std::exchange(told, true)) {
                std::printf("PROGRESS\n");
                std::fflush(stdout);
            }
        });
        installer->Install();
    }
    QuitOnInput(&app);
    const int status = QApplication::exec();
    backEnd.reset();
    return status;
}
