#include "BackEnd.h"
#include "CrmService.h"
#include "DownFileMeta.h"
#include "FileDownloader.h"
#include "GameDownloader.h"
#include "GameIPC.h"
#include "GameInstaller.h"
#include "GameLauncher.h"
#include "MultiLang.h"
#include "ObjectRegistry.h"
#include "PathMng.h"
#include "Payload.h"
#include "RamDB.h"
#include "RestClient.h"
#include "Sandbox.h"
#include "ShopAccountMng.h"
#include "TestEnv.h"

#include <QApplication>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <memory>
#include <optional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

// Set when the test runs in a mount namespace of its own, where it may mount a small file system.
bool privateMounts = false;

} // namespace

// What a hostile server, a flooding local program, a full disk, links and a tampered settings file do to
// the launcher.
class TestHardening : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir root;
    ObjectRegistry registry;
    RamDB* db = nullptr;
    PathMng paths;
    std::unique_ptr<CrmService> crm;
    static constexpr qint64 kSize = 300000;

    QString Location() const { return root.path() + "/Games"; }
    QString Outside(const QString& name = QString()) const { return root.path() + "/outside/" + name; }
    QString Served(const QString& name) const { return root.path() + "/" + name; }

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
        QVERIFY(QDir().mkpath(Outside()));
        QFile mine(Outside("mine.txt"));
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.write("the user's own file");
    }

    // The result the signal brings after `start`.
    template <typename Sender, typename Signal>
    static std::optional<std::pair<bool, QString>>
    Outcome(Sender* sender, Signal signal, const std::function<void()>& start, int timeoutMs = 30000)
    {
        std::optional<std::pair<bool, QString>> outcome;
        const auto connection = connect(
            sender, signal, [&](bool ok, const QString& reason) { outcome = std::make_pair(ok, reason); });
        start();
        TestEnv::WaitFor([&] { return outcome.has_value(); }, timeoutMs);
        disconnect(connection);
        return outcome;
    }

    static std::optional<std::pair<bool, QString>> Install(GameInstaller& installer)
    {
        return Outcome(
            &installer, &GameInstaller::Finish, [&] { installer.Install(); }, 60000);
    }

    void ListForInstall(const QString& package, bool clean)
    {
        db->SetValue(INSTALL_PACK_LIST, QStringList{package});
        db->SetValue(INSTALL_VERSION_LIST, QStringList{"1.0.0.0"});
        db->SetValue(INSTALL_MD5_LIST, QStringList{Payload::Md5OfFile(package)});
        db->SetValue(INSTALL_DONE_LIST, QStringList());
        db->SetBool(IS_CLEAN_INSTALL, clean);
    }

    void ListForDownload()
    {
        const QJsonObject package{
            {"packageurl", sandbox.Origin("files") + "/files/pkg.bin"}, {"version", "1.0"}, {"md5", "x"}};
        db->SetJsonArray(SETUP_LIST, QJsonArray{package});
        db->SetValue(INSTALL_DONE_LIST, QStringList());
    }

    QString CachedPackage(const QString& source)
    {
        const QString cached = paths.CacheFilePath(QFileInfo(source).fileName());
        QFile::remove(cached);
        if (!QFile::copy(source, cached)) {
            return {};
        }
        return cached;
    }

    // The reports the statistics server got: how many requests, how many events in all.
    std::pair<int, int> Received()
    {
        const QJsonArray reports = sandbox.Reports();
        int events = 0;
        for (const QJsonValue& report : reports) {
            events += report.toObject().value("events").toArray().size();
        }
        return {reports.size(), events};
    }

private slots:
    void initTestCase()
    {
        Payload::Write(Served("pkg.bin"), kSize);
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), root.path()));
        db = new RamDB(this);
        registry.RegisterObject("RamDB", db);
        registry.RegisterObject("PathMng", &paths);
        paths.registry = &registry;
        crm = std::make_unique<CrmService>();
        crm->registry = &registry;
        registry.RegisterObject("CrmService", crm.get());
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

    // A reply that grows without end or trickles in is cut off, with a code that says which.
    void serviceRepliesAreBounded_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<int>("detail");
        QTest::addColumn<QString>("code");
        QTest::newRow("longer than a service answer")
            << QJsonObject{{"body", QString(int(RestClient::kMaxReplyBytes) + 1, 'x')}}
            << int(QNetworkReply::UnknownContentError) << "Error: 008_003 {299/0115}";
        // The store's own client has the full deadline; this one has a short one.
        QTest::newRow("a byte now and then")
            << QJsonObject{{"throttle", 20}} << int(QNetworkReply::TimeoutError) << "";
    }
    void serviceRepliesAreBounded()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(int, detail);
        QFETCH(QString, code);
        sandbox.AddFault("store", "/api/v2/users/1001/product", fault);
        RestClient rest;
        rest.SetDeadline(2000);
        std::optional<std::pair<bool, int>> seen;
        ReplyCallbacks callbacks;
        callbacks.jsonCallback = [&](bool ok, const QJsonObject&) {
            seen = std::make_pair(ok, rest.FailureDetail());
        };
        rest.Get(sandbox.Origin("store") + "/api/v2/users/1001/product", {}, callbacks);
        QVERIFY(TestEnv::WaitFor([&] { return seen.has_value(); }, 15000));
        QCOMPARE(seen->first, false);
        QCOMPARE(seen->second, detail);
        if (code.isEmpty()) {
            return;
        }
        // The store's own message for it, as the user sees it.
        ShopAccountMng shop;
        shop.registry = &registry;
        db->SetString(USER_ID, "1001");
        std::optional<QString> message;
        shop.GetProductInfo([&](bool, const QString& reason) { message = reason; });
        QVERIFY(TestEnv::WaitFor([&] { return message.has_value(); }));
        QVERIFY2(message->endsWith(code), qPrintable(*message));
    }

    // A body longer than the size query announced keeps the announced bytes and no more.
    void downloadStopsAtTheAnnouncedSize()
    {
        sandbox.AddFault("files", "/files/pkg.bin", {{"length", "missing"}, {"ignoreRange", true}});
        const QString path = root.path() + "/long.bin";
        QFile::remove(path);
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(sandbox.Origin("files") + "/files/pkg.bin", path, "1", "");
        meta.totalSize = kSize / 3;
        const auto outcome = Outcome(&downloader, &FileDownloader::Finish, [&] { downloader.Start(&meta); });
        QVERIFY(outcome);
        QVERIFY2(!outcome->first && outcome->second.endsWith("Error: 003_008 {000/0126}"),
                 qPrintable(outcome->second));
        QCOMPARE(QFileInfo(path).size(), kSize / 3);
        QCOMPARE(meta.downloadedSize, kSize / 3);
        QVERIFY(Payload::ReadFile(path) == Payload::Bytes(kSize).left(int(kSize / 3)));
    }

    // Links where the launcher's own folders and files belong lead nowhere: nothing outside the install
    // location is written, and the launcher's folder or file is made anew.
    void linksAreNotFollowed_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("product folder") << "SkyTrainer";
        QTest::newRow("download cache") << "__DownloadCache__";
        QTest::newRow("cached package") << "__DownloadCache__/pkg.bin";
    }
    void linksAreNotFollowed()
    {
        QFETCH(QString, link);
        MakeOutside();
        const QString package = CachedPackage(TestEnv::Package("1.0.0.0"));
        QVERIFY(!package.isEmpty());
        const QString at = Location() + "/" + link;
        RemoveDir(at);
        QFile::remove(at);
        QVERIFY(QFile::link(link.endsWith(".bin") ? Outside("mine.txt") : Outside(), at));
        const QMap<QString, QByteArray> before = OutsideFiles();
        if (link == "SkyTrainer") {
            GameInstaller installer;
            installer.registry = &registry;
            ListForInstall(package, true);
            const auto outcome = Install(installer);
            QVERIFY(outcome);
            QVERIFY2(outcome->first, qPrintable(outcome->second));
        } else if (link == "__DownloadCache__") {
            QVERIFY(paths.PrepareDirs());
        } else {
            ListForDownload();
            GameDownloader games;
            games.registry = &registry;
            const auto outcome = Outcome(&games, &GameDownloader::Finish, [&] { games.Start(); });
            QVERIFY(outcome && outcome->first);
            QVERIFY(Payload::ReadFile(at) == Payload::Bytes(kSize));
        }
        QCOMPARE(OutsideFiles(), before);
        const QFileInfo made(at);
        QVERIFY(!made.isSymLink());
        QVERIFY(made.exists());
    }

    // The version file is read only when it is a plain file of a version file's size.
    void versionFileIsReadWithBounds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain file") << "plain" << true;
        QTest::newRow("link to a pipe") << "pipe" << false;
        QTest::newRow("link to an endless device") << "/dev/zero" << false;
        QTest::newRow("padded beyond any version file") << "large" << false;
        QTest::newRow("link to a plain file") << "link" << false;
    }
    void versionFileIsReadWithBounds()
    {
        QFETCH(QString, kind);
        QFETCH(bool, accepted);
        QVERIFY(TestEnv::Unpack(Location(), {"1.0.0.0"}));
        GameLauncher launcher;
        launcher.SetRegistry(&registry);
        QVERIFY(launcher.IsInstalled(QString()));
        const QString path = paths.VersionFilePath();
        const QByteArray text = R"({"V": "1.0.0.9", "P": "SkyTrainer"})";
        QFile::remove(path);
        QFile::remove(Outside("version"));
        MakeOutside();
        QFile file(kind == "link" ? Outside("version") : path);
        if (kind == "plain" || kind == "link" || kind == "large") {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text + QByteArray(kind == "large" ? int(GameLauncher::kMaxVersionFileBytes) : 0, ' '));
            file.close();
        }
        if (kind == "pipe") {
            QCOMPARE(mkfifo(qPrintable(Outside("version")), 0600), 0);
        }
        if (kind != "plain" && kind != "large") {
            QVERIFY(QFile::link(kind.startsWith('/') ? kind : Outside("version"), path));
        }
        db->SetString(CURRENT_VERSION, "kept");
        QCOMPARE(launcher.GetVersion(), accepted);
        QCOMPARE(db->GetString(CURRENT_VERSION), QString(accepted ? "1.0.0.9" : "kept"));
    }

    // A game that floods the channel with reports: every report of a burst the queue can hold arrives, in
    // few requests, and the settings are answered throughout.
    void reportFlood_data()
    {
        QTest::addColumn<int>("reports");
        QTest::addColumn<int>("maxRequests");
        QTest::newRow("a game's pace") << 20 << 20;
        QTest::newRow("a burst") << 3000 << 300;
    }
    void reportFlood()
    {
        QFETCH(int, reports);
        QFETCH(int, maxRequests);
        GameIPC ipc;
        ipc.registry = &registry;
        QString error;
        QVERIFY2(ipc.Bind(error), qPrintable(error));
        QUdpSocket game;
        QVERIFY(game.bind(QHostAddress(QHostAddress::LocalHost), 0));
        const int every = reports < 100 ? 1 : 50;
        int answered = 0;
        const auto takeAnswers = [&] {
            while (game.hasPendingDatagrams()) {
                const QJsonObject reply = QJsonDocument::fromJson(game.receiveDatagram().data()).object();
                answered += reply.value("cmd").toString() == "settingReq";
            }
            return answered == reports / every;
        };
        for (int i = 0; i < reports; ++i) {
            const QJsonArray report{QJsonObject{{"type", "Flood"}, {"n", i}}};
            game.writeDatagram(QJsonDocument(QJsonObject{{"cmd", "reportReq"}, {"report", report}}).toJson(),
                               QHostAddress(QHostAddress::LocalHost), GameIPC::kPort);
            // Paced so that the system's socket buffer never overflows: what is lost is the launcher's doing.
            if (i % every == every - 1) {
                game.writeDatagram(R"({"cmd": "settingReq"})", QHostAddress(QHostAddress::LocalHost),
                                   GameIPC::kPort);
                QTest::qWait(every == 1 ? 20 : 5);
                takeAnswers();
            }
        }
        QVERIFY(TestEnv::WaitFor(takeAnswers));
        std::pair<int, int> received;
        for (int stable = 0; stable < 3;) {
            QTest::qWait(300);
            const std::pair<int, int> now = Received();
            stable = now == received ? stable + 1 : 0;
            received = now;
        }
        QCOMPARE(received.second, reports);
        QVERIFY2(received.first <= maxRequests, qPrintable(QString::number(received.first)));
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
        QVERIFY(received.second > 0);
        QVERIFY(received.second < events.size());
    }

    // Before any byte is fetched, the install location must hold what is still to come and its extraction.
    void downloadNeedsRoomFirst()
    {
        sandbox.AddFault({{"server", "files"},
                          {"path", "/files/pkg.bin"},
                          {"method", "HEAD"},
                          {"length", "+1000000000000000"}});
        ListForDownload();
        QFile::remove(paths.CacheFilePath("pkg.bin"));
        GameDownloader games;
        games.registry = &registry;
        const auto outcome = Outcome(&games, &GameDownloader::Finish, [&] { games.Start(); });
        QVERIFY(outcome);
        QVERIFY2(!outcome->first && outcome->second.endsWith("Error: 003_010 {000/0140}"),
                 qPrintable(outcome->second));
        QVERIFY2(outcome->second.contains(QDir::toNativeSeparators(paths.DownloadCacheDir())),
                 qPrintable(outcome->second));
        for (const QJsonValue& request : sandbox.Requests("files")) {
            QCOMPARE(request.toObject().value("method").toString(), QString("HEAD"));
        }
    }

    // An extraction that fills the disk says so, and keeps the verified package for a retry.
    void extractionOnAFullDisk()
    {
        if (!privateMounts) {
            QSKIP("needs a mount namespace of its own (root, or unprivileged user namespaces)");
        }
        QTemporaryDir source;
        QVERIFY(QDir().mkpath(source.path() + "/SkyTrainer"));
        QFile big(source.path() + "/SkyTrainer/terrain.dat");
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(8 * 1024 * 1024));
        big.close();
        const QString archive = root.path() + "/big.7z";
        QFile::remove(archive);
        QProcess zip;
        zip.setWorkingDirectory(source.path());
        zip.start("7z", {"a", "-bd", archive, "SkyTrainer"});
        QVERIFY(zip.waitForFinished(30000) && zip.exitCode() == 0);
        QTemporaryDir small;
        QCOMPARE(mount("tmpfs", qPrintable(small.path()), "tmpfs", 0, "size=2m"), 0);
        db->SetString(GAME_LOCATION, small.path());
        QVERIFY(paths.PrepareDirs());
        const QString package = CachedPackage(archive);
        QVERIFY(!package.isEmpty());
        GameInstaller installer;
        installer.registry = &registry;
        ListForInstall(package, false);
        const auto outcome = Install(installer);
        const bool kept = QFileInfo::exists(package);
        umount2(qPrintable(small.path()), MNT_DETACH);
        QVERIFY(outcome);
        QVERIFY2(!outcome->first && outcome->second.endsWith("Error: 007_004 {000/0056}") &&
                     outcome->second.contains(small.path()),
                 qPrintable(outcome->second));
        QVERIFY(kept);
        QCOMPARE(db->GetValue(INSTALL_PACK_LIST).toStringList(), QStringList{package});
    }

    // Servers that would read local files, send the token in clear or speak another protocol stop the start.
    void serverAddressesNeedTheirScheme_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("address");
        QTest::newRow("store as a local file") << "Store"
                                               << "file:///etc";
        QTest::newRow("account in clear") << "Account"
                                          << "http://127.0.0.1:1";
        QTest::newRow("statistics in clear") << "Statistics"
                                             << "http://127.0.0.1:1";
        QTest::newRow("documents over ftp") << "Documents"
                                            << "ftp://127.0.0.1";
        QTest::newRow("no scheme") << "Faq"
                                   << "127.0.0.1/faq";
    }
    void serverAddressesNeedTheirScheme()
    {
        QFETCH(QString, setting);
        QFETCH(QString, address);
        sandbox.WriteServerSettings(true);
        QSettings(TestEnv::SettingsFile(), QSettings::IniFormat).setValue("Servers/" + setting, address);
        BackEnd backEnd;
        QString error;
        const bool started = backEnd.Init(error);
        sandbox.WriteServerSettings(true);
        QVERIFY(!started);
        QVERIFY2(error.contains("[Servers] " + setting + "=" + address) &&
                     error.endsWith("Error: 011_000 {000/0040}"),
                 qPrintable(error));
    }

    // A language index the interface cannot show counts as none: English for the interface and the game.
    void unknownLanguageIndex_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("a culture without an interface language") << "3";
        QTest::newRow("7") << "7";
        QTest::newRow("past int") << "2147483648";
        QTest::newRow("negative") << "-1";
    }
    void unknownLanguageIndex()
    {
        QFETCH(QString, stored);
        {
            QSettings settings(TestEnv::SettingsFile(), QSettings::IniFormat);
            settings.setValue("MULTI_LANG", stored);
        }
        ObjectRegistry own;
        RamDB store;
        own.RegisterObject("RamDB", &store);
        MultiLang lang;
        lang.registry = &own;
        lang.InitLangs();
        QCOMPARE(QCoreApplication::translate("FileDownloader", "写入文件错误"), QString("File Error"));
        QCOMPARE(lang.langCode(), QString("en"));
        GameIPC ipc;
        ipc.registry = &own;
        const QJsonObject reply = QJsonDocument::fromJson(ipc.Handle(R"({"cmd": "settingReq"})")).object();
        QCOMPARE(reply.value("language").toString(), QString("en"));
    }
};

int main(int argc, char** argv)
{
    // Before any thread exists: a mount namespace of its own lets the disk-full case mount a small file
    // system that no other process sees and that goes with this one.
    privateMounts =
        unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    TestEnv::Isolate();
    QApplication app(argc, argv);
    TestHardening tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_hardening.moc"
