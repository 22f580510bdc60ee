// Runs the back end the way the launcher's main does, without a window, and ends the way main ends:
//   backend_probe LOCATION   starts the installed game of the product SkyTrainer at LOCATION, quits the
//                            application when standard input reads "quit" or closes, then destroys the
//                            back end before the application object.
#include "BackEnd.h"
#include "QuitOnInput.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (QCoreApplication::arguments().size() != 2) {
        std::fprintf(stderr, "usage: backend_probe LOCATION\n");
        return 2;
    }
    auto backEnd = std::make_unique<BackEnd>(&app);
    QString error;
    if (!backEnd->Init(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 3;
    }
    auto* db = static_cast<RamDB*>(backEnd->FindObject(QStringLiteral("RamDB")));
    db->SetString(GAME_LOCATION, QCoreApplication::arguments().at(1));
    db->SetString(PRODUCT_CODE, QStringLiteral("SkyTrainer"));
    db->SetString(USER_ACCOUNT, QStringLiteral("pilot@example.com"));
    if (!static_cast<GameLauncher*>(backEnd->FindObject(QStringLiteral("GameLauncher")))
             ->IsInstalled(QString())) {
        std::fprintf(stderr, "no game at %s\n", argv[1]);
        return 4;
    }
    backEnd->launcherOp()->runGame();
    QuitOnInput(&app);
    const int status = QApplication::exec();
    backEnd.reset();
    return status;
}
