#include "GameLauncher.h"

#include "CrmService.h"
#include "Logging.h"
#include "MultiLang.h"
#include "ObjectRegistry.h"
#include "PathMng.h"
#include "Platform.h"
#include "RamDB.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

namespace {

// How long the application's end waits for the game to die, and then for its offline report.
constexpr int kGameEndWaitMs = 3000;
constexpr int kOfflineReportWaitMs = 3000;

} // namespace

GameLauncher::GameLauncher(QObject* parent) : QObject(parent), channel(this), game(this)
{
    connect(qApp, &QCoreApplication::aboutToQuit, this, &GameLauncher::EndWithApplication);
}

GameLauncher::~GameLauncher()
{
    // The process dies with its object, after the peers it would report to may be gone.
    game.disconnect(this);
}

void GameLauncher::SetRegistry(ObjectRegistry* value)
{
    registry = value;
    channel.registry = value;
}

bool GameLauncher::InitChannel(QString& error)
{
    connect(&game, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &GameLauncher::OnGameExit);
    connect(&game, &QProcess::errorOccurred, this, &GameLauncher::OnGameError);
    return channel.Bind(error);
}

bool GameLauncher::IsInstalled(const QString& location)
{
    auto* paths = registry->Peer<PathMng>();
    if (!paths->FindGameExe()) {
        return false;
    }
    const QString exe = paths->GameExePath(location);
    return !exe.isEmpty() && QFileInfo::exists(exe);
}

bool GameLauncher::GetVersion()
{
    const QString path = registry->Peer<PathMng>()->VersionFilePath();
    if (path.isEmpty()) {
        return false;
    }
    // Only a plain file of ours: a link, a pipe or a device could block the start or fill the memory.
    const QFileInfo info(path);
    if (Platform::IsLink(info) || !info.isFile() || info.size() > kMaxVersionFileBytes) {
        qCDebug(lcGame) << "GameLauncher::GetVersion refused" << path;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QString version;
    QString product;
    if (!ParseVersion(file.read(kMaxVersionFileBytes), version, product)) {
        return false;
    }
    qCDebug(lcGame) << "Get Version: " << version << " Product: " << product;
    auto* db = registry->Peer<RamDB>();
    db->SetString(CURRENT_VERSION, version);
    db->SetString(PRODUCT_CODE, product);
    return true;
}

bool GameLauncher::ParseVersion(const QByteArray& text, QString& version, QString& product)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return false;
    }
    version = document.object().value(QStringLiteral("V")).toString();
    product = document.object().value(QStringLiteral("P")).toString();
    static const QRegularExpression fourNumbers(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"));
    // The product names the game's folder; the file cannot be allowed to point it anywhere else.
    return fourNumbers.match(version).hasMatch() && RamDB::IsValidProductCode(product);
}

void GameLauncher::Launch()
{
    if (game.state() != QProcess::NotRunning) {
        return;
    }
    auto* paths = registry->Peer<PathMng>();
    auto* db = registry->Peer<RamDB>();
    const QString program = paths->GameExePath(QString());
    const QString folder = paths->GameDir();
    const QStringList arguments{QStringLiteral("-culture=") + MultiLang::CodeOf(db->GetInt(MULTI_LANG, 0))};
    game.setWorkingDirectory(folder);
    // The game's output is not read; kept, it would pile up in memory for as long as the game runs.
    game.setStandardOutputFile(QProcess::nullDevice());
    game.setStandardErrorFile(QProcess::nullDevice());
    // Marked before the start: a start that fails at once reports it from inside start(), and the failure
    // must be the last word.
    db->SetBool(IS_RUNNING_GAME, true);
    registry->Peer<CrmService>()->reportUserOnline(true);
    qCDebug(lcGame) << "Start Program: " << program << "  " << arguments;
    game.start(program, arguments, QIODevice::ReadWrite);
}

void GameLauncher::OnGameExit(int, QProcess::ExitStatus)
{
    registry->Peer<RamDB>()->SetBool(IS_RUNNING_GAME, false);
    registry->Peer<CrmService>()->reportUserOnline(false);
}

void GameLauncher::OnGameError(QProcess::ProcessError error)
{
    // A game that never started never finishes: without this the run button would stay disabled for good.
    if (error != QProcess::FailedToStart) {
        return;
    }
    qCDebug(lcGame) << "The game cannot be started:" << game.errorString();
    registry->Peer<RamDB>()->SetBool(IS_RUNNING_GAME, false);
    registry->Peer<CrmService>()->reportUserOnline(false);
    emit LaunchFailed(game.errorString());
}

void GameLauncher::EndWithApplication()
{
    if (game.state() == QProcess::NotRunning) {
        return;
    }
    qCDebug(lcGame) << "The launcher ends while the game runs: ending the game";
    // Its end is handled here, while every peer is alive; nothing may arrive from the process later.
    game.disconnect(this);
    game.kill();
    game.waitForFinished(kGameEndWaitMs);
    registry->Peer<RamDB>()->SetBool(IS_RUNNING_GAME, false);
    // The event loop has ended: the offline report goes out only while this one runs.
    QEventLoop wait;
    const QPointer<QEventLoop> waiting(&wait);
    registry->Peer<CrmService>()->reportUserOnline(false, [waiting] {
        if (!waiting.isNull()) {
            waiting->exit(0);
        }
    });
    QTimer::singleShot(kOfflineReportWaitMs, &wait, [&wait] { wait.exit(1); });
    if (wait.exec(QEventLoop::ExcludeUserInputEvents) != 0) {
        qCDebug(lcGame) << "Report_UserOnline: no answer before the launcher's end";
    }
}
