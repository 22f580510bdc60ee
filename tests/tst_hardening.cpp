#include "BackEnd.h"
#include "CrmService.h"
#include "GameChannel.h"
#include "GameDownloader.h"
#include "GameIPC.h"
#include "GameInstaller.h"
#include "GameLauncher.h"
#include "MultiLang.h"
#include "Outcome.h"
#include "QmlNetMng.h"
#include "RestClient.h"
#include "Sandbox.h"
#include "Services.h"
#include "ShopAccountMng.h"

#include <QNetworkDatagram>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <future>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

namespace {

// Taken before any thread exists: in a mount namespace of its own, the disk-full case may mount a small
// file system that no other process sees and that goes with this one.
const bool privateMounts =
    unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

} // namespace

// What a hostile server, a flooding local program, a full disk, links and a tampered settings file do to
// the launcher.
class TestHardening : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir root;
    Services services;
    RamDB* db = &services.db;
    PathMng& paths = services.paths;
    std::unique_ptr<CrmService> crm;
    static constexpr qint64 kSize = 300000;

    QString Location() const { return root.path() + "/Games"; }
    QString Outside(const QString& name = QString()) const { return root.path() + "/outside/" + name; }

    // Every file under the folder outside the install location, with its contents.
    QMap<QString, QByteArray> OutsideFiles() const
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(Outside(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            files.insert(path, Payload::ReadFile(path));
        }
        return files;
    }

    void MakeOutside()
    {
        QDir(Outside()).removeRecursively();
        QVERIFY(!Payload::Write(Outside("mine.txt"), 64).isEmpty());
    }

    // A copy of the package in the download cache.
    QString CachedPackage(const QString& source)
    {
        const QString cached = paths.CacheFilePath(QFileInfo(source).fileName());
        QFile::remove(cached);
        return QFile::copy(source, cached) ? cached : QString();
    }

    Outcome Install(const QString& package, bool clean)
    {
        db->SetValue(INSTALL_PACK_LIST, QStringList{package});
        db->SetValue(INSTALL_VERSION_LIST, QStringList{"1.0.0.0"});
        db->SetValue(INSTALL_MD5_LIST, QStringList{Payload::Md5OfFile(package)});
        db->SetValue(INSTALL_DONE_LIST, QStringList());
        db->SetBool(IS_CLEAN_INSTALL, clean);
        const auto installer = services.Make<GameInstaller>();
        return AwaitOutcome(
            installer.get(), &GameInstaller::Finish, [&] { installer->Install(); }, 60000);
    }

    // The reports the statistics server got: how many requests, how many events in all.
    std::pair<int, int> Received()
    {
        const QJsonArray reports = sandbox.Reports();
        return {reports.size(), GameChannel::Events(reports).size()};
    }

private slots:
    void initTestCase()
    {
        Payload::Write(root.path() + "/pkg.bin", kSize);
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), root.path()));
        // It takes the statistics server's address from the settings the sandbox has just written.
        crm = services.Make<CrmService>();
        services.registry.Register(crm.get());
    }

    void init()
    {
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        sandbox.ClearReports();
        db->SetString(GAME_LOCATION, Location());
        db->SetString(PRODUCT_CODE, "SkyTrainer");
        QVERIFY(QDir().mkpath(Location()));
        QVERIFY(paths.PrepareDirs());
    }

    // A reply that grows without end, trickles in or whose headers never end is cut off, with a code that
    // says which; the headers have a deadline of their own, long before the reply's.
    void serviceRepliesAreBounded_data()
    {
        Columns<QJsonObject, int, QString>({"fault", "detail", "code"});
        Row("longer than a service answer",
            QJsonObject{{"body", QString(int(RestClient::kMaxReplyBytes) + 1, 'x')}},
            int(QNetworkReply::UnknownContentError), "Error: 008_003 {299/0115}");
        // The store's own client has the full deadline; this one has a short one.
        Row("a byte now and then", QJsonObject{{"throttle", 20}}, int(QNetworkReply::TimeoutError), "");
        Row("headers without end", QJsonObject(), int(QNetworkReply::TimeoutError), "");
    }
    void serviceRepliesAreBounded()
    {
        auto [fault, detail, code] = Fetch<QJsonObject, int, QString>({"fault", "detail", "code"});
        QString url = sandbox.Origin("store") + "/api/v2/users/1001/product";
        RestClient rest;
        // A server of its own for the headers, which sends header lines for ever, as fast as they are read.
        QTcpServer server;
        if (fault.isEmpty()) {
            QVERIFY(server.listen(QHostAddress::LocalHost));
            connect(&server, &QTcpServer::newConnection, &server, [&] {
                QTcpSocket* client = server.nextPendingConnection();
                connect(client, &QTcpSocket::bytesWritten, client,
                        [client] { client->write("X-Pad: " + QByteArray(1000, 'a') + "\r\n"); });
                client->write("HTTP/1.1 200 OK\r\n");
            });
            url = QString("http://127.0.0.1:%1/").arg(server.serverPort());
            rest.SetHeaderDeadline(1000);
        } else {
            sandbox.AddFault("store", "/api/v2/users/1001/product", fault);
            rest.SetDeadline(2000);
        }
        std::optional<std::pair<bool, int>> seen;
        ReplyCallbacks callbacks;
        callbacks.jsonCallback = [&](bool ok, const QJsonObject&) {
            seen = std::make_pair(ok, rest.FailureDetail());
        };
        rest.Get(url, {}, callbacks);
        QVERIFY(TestEnv::WaitFor([&] { return seen.has_value(); }, 15000));
        QCOMPARE(*seen, std::make_pair(false, detail));
        if (code.isEmpty()) {
            return;
        }
        // The store's own message for it, as the user sees it.
        const auto shop = services.Make<ShopAccountMng>();
        db->SetString(USER_ID, "1001");
        const Outcome message = AwaitCallback([&](const auto& done) { shop->GetProductInfo(done); });
        QVERIFY2(message && message->second.endsWith(code),
                 message ? qPrintable(message->second) : "no answer");
    }

    // The window's remote pictures: an endless body, a picture larger than any window, a body that is no
    // picture and a trickle are cut off before they cost memory or hold on.
    void windowPicturesAreBounded_data()
    {
        Columns<QByteArray, QJsonObject>({"body", "fault"});
        const QByteArray picture = Payload::Picture("PNG", QSize(64, 64));
        const QByteArray endless = picture + QByteArray(QmlNetMng::kMaxReplyBytes, 'x');
        Row("a picture without end", endless, QJsonObject{{"length", "missing"}});
        Row("announced longer than a picture", endless, QJsonObject());
        Row("larger than any window", Payload::Picture("PNG", QmlNetMng::kLargestPicture + QSize(1, 1)),
            QJsonObject());
        Row("a format without a trusted header", Payload::Picture("BMP", QSize(64, 64)), QJsonObject());
        Row("no picture", QByteArray(QmlNetMng::kHeaderBytes + 1024, 'x'), QJsonObject());
        Row("a byte now and then", picture, QJsonObject{{"throttle", 20}});
    }
    void windowPicturesAreBounded()
    {
        auto [body, fault] = Fetch<QByteArray, QJsonObject>({"body", "fault"});
        QVERIFY(Payload::Save(root.path() + "/picture.bin", body));
        if (!fault.isEmpty()) {
            sandbox.AddFault("files", "/files/picture.bin", fault);
        }
        QmlNetMng manager;
        manager.deadlineMs = 2000;
        const std::unique_ptr<QNetworkReply> reply(
            manager.get(QNetworkRequest(QUrl(sandbox.Origin("files") + "/files/picture.bin"))));
        QVERIFY(TestEnv::WaitFor([&] { return reply->isFinished(); }, 15000));
        QCOMPARE(reply->error(), QNetworkReply::OperationCanceledError);
        // Qt may still hand over what had come when the bounds closed the reply: it is not judged again.
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type != QtDebugMsg) {
                    warnings << text;
                }
            });
        emit reply->readyRead();
        qInstallMessageHandler(previous);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    }

    // Links where the launcher's own folders and files belong lead nowhere: nothing outside the install
    // location is written, and the launcher's folder or file is made anew.
    void linksAreNotFollowed_data()
    {
        Columns<QString>({"link"});
        Row("product folder", "SkyTrainer");
        Row("download cache", "__DownloadCache__");
        Row("cached package", "__DownloadCache__/pkg.bin");
    }
    void linksAreNotFollowed()
    {
        auto [link] = Fetch<QString>({"link"});
        MakeOutside();
        const QString at = Location() + "/" + link;
        RemoveDir(at);
        QFile::remove(at);
        QVERIFY(QFile::link(link.endsWith(".bin") ? Outside("mine.txt") : Outside(), at));
        const QMap<QString, QByteArray> before = OutsideFiles();
        if (link == "SkyTrainer") {
            const Outcome outcome = Install(CachedPackage(TestEnv::Package("1.0.0.0")), true);
            QVERIFY2(outcome && outcome->first, outcome ? qPrintable(outcome->second) : "no end");
        } else if (link == "__DownloadCache__") {
            QVERIFY(paths.PrepareDirs());
        } else {
            db->SetJsonArray(
                SETUP_LIST, QJsonArray{QJsonObject{{"packageurl", sandbox.Origin("files") + "/files/pkg.bin"},
                                                   {"md5", "x"}}});
            db->SetValue(INSTALL_DONE_LIST, QStringList());
            const auto games = services.Make<GameDownloader>();
            const Outcome outcome =
                AwaitOutcome(games.get(), &GameDownloader::Finish, [&] { games->Start(); });
            QVERIFY(outcome && outcome->first && Payload::ReadFile(at) == Payload::Bytes(kSize));
        }
        QCOMPARE(OutsideFiles(), before);
        QCOMPARE(std::make_pair(QFileInfo(at).isSymLink(), QFileInfo::exists(at)),
                 std::make_pair(false, true));
    }

    // A version file that would fill the memory or block the start is not read.
    void versionFileIsReadWithBounds_data()
    {
        Columns<QString, int>({"linkTo", "padding"});
        Row("padded beyond any version file", "", int(GameLauncher::kMaxVersionFileBytes));
        Row("link to a pipe", "pipe", 0);
        Row("link to an endless device", "/dev/zero", 0);
    }
    void versionFileIsReadWithBounds()
    {
        auto [linkTo, padding] = Fetch<QString, int>({"linkTo", "padding"});
        QVERIFY(TestEnv::Unpack(Location(), {"1.0.0.0"}));
        GameLauncher launcher;
        launcher.SetRegistry(&services.registry);
        QVERIFY(launcher.IsInstalled(QString()));
        const QString path = paths.VersionFilePath();
        QFile::remove(path);
        MakeOutside();
        if (linkTo == "pipe") {
            QCOMPARE(mkfifo(qPrintable(Outside("version")), 0600), 0);
        } else if (linkTo.isEmpty()) {
            QVERIFY(Payload::Save(path, R"({"V": "1.0.0.9", "P": "SkyTrainer"})" + QByteArray(padding, ' ')));
        }
        if (!linkTo.isEmpty()) {
            QVERIFY(QFile::link(linkTo.startsWith('/') ? linkTo : Outside("version"), path));
        }
        db->SetString(CURRENT_VERSION, "kept");
        QVERIFY(!launcher.GetVersion());
        QCOMPARE(db->GetString(CURRENT_VERSION), QString("kept"));
    }

    // A game that floods the channel with reports: every report of a burst the queue can hold arrives, in
    // few requests, and the settings are answered throughout.
    void reportFlood()
    {
        const int reports = 3000;
        const int every = 50;
        const auto ipc = services.Make<GameIPC>();
        QString error;
        QVERIFY2(ipc->Bind(error), qPrintable(error));
        QUdpSocket game;
        int answered = 0;
        for (int i = 0; i < reports; ++i) {
            const QString report(R"({"cmd": "reportReq", "report": [{"type": "Flood", "n": %1}]})");
            game.writeDatagram(report.arg(i).toUtf8(), QHostAddress::LocalHost, GameIPC::kPort);
            // Paced so that the system's socket buffer never overflows: what is lost is the launcher's doing.
            if (i % every == every - 1) {
                QTest::qWait(5);
                answered += GameChannel::Ask({R"({"cmd": "settingReq"})"}, 1).size();
            }
        }
        QCOMPARE(answered, reports / every);
        std::pair<int, int> received;
        for (int stable = 0; stable < 3;) {
            QTest::qWait(300);
            const std::pair<int, int> now = Received();
            stable = now == received ? stable + 1 : 0;
            received = now;
        }
        QCOMPARE(received.second, reports);
        QVERIFY2(received.first <= 300, qPrintable(QString::number(received.first)));
    }

    // A local program that floods the channel for a while leaves it answering the game afterwards.
    void channelOutlivesAFlood_data()
    {
        Columns<QByteArray>({"datagram"});
        Row("garbage", QByteArray(64, 'x'));
        Row("settings requests", QByteArray(R"({"cmd": "settingReq"})"));
    }
    void channelOutlivesAFlood()
    {
        auto [datagram] = Fetch<QByteArray>({"datagram"});
        const auto ipc = services.Make<GameIPC>();
        QString error;
        QVERIFY2(ipc->Bind(error), qPrintable(error));
        // Bursts that outrun the channel, each followed by a pause in which it catches up: 200,000 datagrams.
        const auto flood = std::async(std::launch::async, [&] {
            QUdpSocket socket;
            socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
            for (int burst = 0; burst < 400; ++burst) {
                for (int i = 0; i < 500; ++i) {
                    socket.writeDatagram(datagram, QHostAddress(QHostAddress::LocalHost), GameIPC::kPort);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        TestEnv::WaitFor([&] { return flood.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                         60000);
        // Asked as the game asks, again until the queue the flood left behind has been taken; then a burst.
        const QByteArray ask = R"({"cmd": "settingReq", "seq": 1})";
        QVERIFY(TestEnv::WaitFor([&] { return !GameChannel::Ask({ask}, 1, 200).isEmpty(); }));
        QCOMPARE(GameChannel::Ask(QVector<QByteArray>(20, ask).toList(), 20).size(), 20);
    }

    // Large requests are counted in the log, not copied into it: a line per round of datagrams, with what
    // it shows of them bounded.
    void channelLogIsBounded()
    {
        const auto ipc = services.Make<GameIPC>();
        QString error;
        QVERIFY2(ipc->Bind(error), qPrintable(error));
        const QByteArray padding(8000, 'p');
        const QByteArray report =
            QByteArray(R"({"cmd": "reportReq", "report": [{"pad": "%1"}]})").replace("%1", padding);
        const QByteArray settings =
            QByteArray(R"({"cmd": "settingReq", "seq": "%1"})").replace("%1", padding);
        static QStringList log;
        log.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { log << message; });
        int replies = 0;
        for (int i = 0; i < 10; ++i) {
            replies += GameChannel::Ask({"not JSON", report, settings}, 2).size();
        }
        qInstallMessageHandler(previous);
        QCOMPARE(replies, 20);
        static const QRegularExpression counts(
            R"(^GameIPC: (\d+) settingReq, (\d+) reportReq \((\d+) events\), (\d+) dropped)");
        QList<int> total{0, 0, 0, 0};
        for (const QString& line : qAsConst(log)) {
            QVERIFY2(line.size() <= 1024, qPrintable(line.left(200)));
            const QRegularExpressionMatch match = counts.match(line);
            for (int i = 0; i < total.size() && match.hasMatch(); ++i) {
                total[i] += match.captured(i + 1).toInt();
            }
        }
        QCOMPARE(total, (QList<int>{10, 10, 10, 10}));
    }

    // What the queue cannot hold is dropped, not kept in memory.
    void reportsPastTheBoundAreDropped()
    {
        QJsonArray events;
        const QString padding(8000, 'p');
        for (int i = 0; i < 400; ++i) {
            events.append(QJsonObject{{"type", "Flood"}, {"n", i}, {"pad", padding}});
        }
        crm->reportCustom(events);
        std::pair<int, int> received;
        QVERIFY(TestEnv::WaitFor([&] { return (received = Received()).first > 0; }));
        QVERIFY2(received.second > 0 && received.second < events.size(),
                 qPrintable(QString::number(received.second)));
    }

    // An extraction that fills the disk says so, and keeps the verified package for a retry.
    void extractionOnAFullDisk()
    {
        if (!privateMounts) {
            QSKIP("needs a mount namespace of its own (root, or unprivileged user namespaces)");
        }
        // Zeros: a small archive that unpacks past the disk's size.
        QTemporaryDir source;
        QVERIFY(Payload::Save(source.path() + "/SkyTrainer/terrain.dat", QByteArray(8 * 1024 * 1024, '\0')));
        const QString archive = root.path() + "/big.7z";
        QCOMPARE(QProcess::execute("7z", {"a", "-bso0", "-bsp0", archive, source.path() + "/SkyTrainer"}), 0);
        QTemporaryDir small;
        QCOMPARE(mount("tmpfs", qPrintable(small.path()), "tmpfs", 0, "size=2m"), 0);
        db->SetString(GAME_LOCATION, small.path());
        QVERIFY(paths.PrepareDirs());
        const QString package = CachedPackage(archive);
        const Outcome outcome = Install(package, false);
        const bool kept = QFileInfo::exists(package);
        umount2(qPrintable(small.path()), MNT_DETACH);
        QVERIFY2(outcome && !outcome->first && outcome->second.endsWith("Error: 007_004 {000/0056}") &&
                     outcome->second.contains(small.path()),
                 outcome ? qPrintable(outcome->second) : "no end");
        QVERIFY(kept);
        QCOMPARE(db->GetValue(INSTALL_PACK_LIST).toStringList(), QStringList{package});
    }

    // Servers that would read local files, send the token in clear or speak another protocol stop the start.
    void serverAddressesNeedTheirScheme_data()
    {
        Columns<QString, QString>({"setting", "address"});
        Row("store as a local file", "Store", "file:///etc");
        Row("account in clear", "Account", "http://127.0.0.1:1");
        Row("statistics in clear", "Statistics", "http://127.0.0.1:1");
        Row("documents over ftp", "Documents", "ftp://127.0.0.1");
        Row("no scheme", "Faq", "127.0.0.1/faq");
    }
    void serverAddressesNeedTheirScheme()
    {
        auto [setting, address] = Fetch<QString, QString>({"setting", "address"});
        sandbox.WriteServerSettings(true);
        QSettings(TestEnv::SettingsFile(), QSettings::IniFormat).setValue("Servers/" + setting, address);
        BackEnd backEnd;
        QString error;
        const bool started = backEnd.Init(error);
        sandbox.WriteServerSettings(true);
        QVERIFY2(!started && error.contains("[Servers] " + setting + "=" + address) &&
                     error.endsWith("Error: 011_000 {000/0040}"),
                 qPrintable(error));
    }

    // The game's own languages stay stored, for the game, with the interface in its source texts; an index of
    // no language at all counts as none: English for the interface and the game.
    void storedLanguageIndex_data()
    {
        Columns<QString, int, QString, QString>({"stored", "index", "culture", "text"});
        Row("Traditional Chinese", "2", 2, "zh-Hant", "写入文件错误");
        Row("Japanese", "3", 3, "ja", "写入文件错误");
        Row("Korean", "4", 4, "ko", "写入文件错误");
        Row("past the cultures", "5", 0, "en", "File Error");
        Row("negative", "-1", 0, "en", "File Error");
    }
    void storedLanguageIndex()
    {
        auto [stored, index, culture, text] =
            Fetch<QString, int, QString, QString>({"stored", "index", "culture", "text"});
        QSettings(TestEnv::SettingsFile(), QSettings::IniFormat).setValue("MULTI_LANG", stored);
        Services own;
        const auto lang = own.Make<MultiLang>();
        lang->InitLangs();
        const auto ipc = own.Make<GameIPC>();
        GameIPC::Batch batch;
        const QJsonObject reply =
            QJsonDocument::fromJson(ipc->Handle(R"({"cmd": "settingReq"})", batch)).object();
        QCOMPARE(std::make_tuple(QCoreApplication::translate("FileDownloader", "写入文件错误"),
                                 lang->langIdx(), own.db.GetInt(MULTI_LANG, -1), lang->langCode(),
                                 reply.value("language").toString()),
                 std::make_tuple(text, index, index, culture, culture));
    }
};

AVIRO_TEST_MAIN(TestHardening)
#include "tst_hardening.moc"
