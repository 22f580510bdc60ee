#include "Sandbox.h"
#include "TestEnv.h"

#include <QDirIterator>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>

// The launcher installed by `cmake --install` into a staging folder (DESTDIR), laid out as under /usr.
class TestDesktopInstall : public QObject
{
    Q_OBJECT
private:
    const QString appId = QStringLiteral("com.vomoskyworks.AviroLauncher");
    QString usr;

    // Runs a program to its end; returns its exit code (-1 when it did not run) and its merged output.
    static int Run(const QString& program, const QStringList& arguments, QString* output,
                   const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        *output = QString::fromUtf8(process.readAll());
        return process.exitCode();
    }

    QString DesktopFile() const { return usr + "/share/applications/" + appId + ".desktop"; }
    QString MetainfoFile() const { return usr + "/share/metainfo/" + appId + ".metainfo.xml"; }

    // The value of a key of the desktop entry's main group.
    QString DesktopValue(const QString& key) const
    {
        QFile file(DesktopFile());
        if (!file.open(QIODevice::ReadOnly)) {
            return QString();
        }
        const QString text = QString::fromUtf8(file.readAll());
        const QRegularExpression line("^" + QRegularExpression::escape(key) + "=(.*)$",
                                      QRegularExpression::MultilineOption);
        return line.match(text).captured(1);
    }

private slots:
    void initTestCase()
    {
        const QString root = TestEnv::Home() + "/staging";
        usr = root + "/usr";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", root);
        QString output;
        const int status =
            Run(AVIRO_CMAKE, {"--install", AVIRO_BUILD_DIR, "--prefix", "/usr", "--component", "launcher"},
                &output, environment);
        QVERIFY2(status == 0, qPrintable(output));
    }

    void installsTheLauncherAlone()
    {
        QStringList files;
        QDirIterator it(usr, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << it.next().mid(usr.size() + 1);
        }
        files.sort();
        QStringList expected{"bin/AviroLauncher",
                             "share/applications/" + appId + ".desktop",
                             "share/icons/hicolor/scalable/apps/avirolauncher.svg",
                             "share/metainfo/" + appId + ".metainfo.xml",
                             "share/doc/avirolauncher/copyright",
                             "share/doc/avirolauncher/changelog.Debian.gz",
                             "share/man/man1/AviroLauncher.1.gz"};
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            expected << QString("share/icons/hicolor/%1x%1/apps/avirolauncher.png").arg(size);
        }
        expected.sort();
        QCOMPARE(files, expected);
        QVERIFY(QFileInfo(usr + "/bin/AviroLauncher").isExecutable());
    }

    void desktopEntryIsValid()
    {
        QString output;
        QCOMPARE(Run("desktop-file-validate", {DesktopFile()}, &output), 0);
        QCOMPARE(output, QString());
        // The entry starts the installed program; its icon is checked where the theme looks.
        QCOMPARE(DesktopValue("Exec"), QString("AviroLauncher"));
    }

    void metainfoIsValid()
    {
        QString output;
        QVERIFY2(Run("appstreamcli", {"validate", "--no-net", MetainfoFile()}, &output) == 0,
                 qPrintable(output));

        QFile file(MetainfoFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QStringList releases;
        QString launchable;
        int screenshots = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) {
                continue;
            }
            const auto attributes = xml.attributes();
            if (xml.name() == QLatin1String("release")) {
                releases << attributes.value("version").toString();
            } else if (xml.name() == QLatin1String("launchable")) {
                launchable = xml.readElementText();
            } else if (xml.name() == QLatin1String("image")) {
                // Each image is one of our screenshots, published under its file name.
                const QSize size(attributes.value("width").toInt(), attributes.value("height").toInt());
                const QString url = xml.readElementText();
                const QString local = AVIRO_SOURCE_DIR "/docs/screenshots/" + url.section('/', -1);
                QVERIFY2(url.startsWith("https://"), qPrintable(url));
                QVERIFY2(QFileInfo::exists(local), qPrintable(local));
                QCOMPARE(QImageReader(local).size(), size);
                ++screenshots;
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(releases, QStringList{AVIRO_VERSION});
        QCOMPARE(launchable, QFileInfo(DesktopFile()).fileName());
        QVERIFY(screenshots > 0);
    }

    // The freedesktop icon lookup, over the staging folder, finds the desktop entry's icon in every size.
    void iconIsWhereTheThemeLooks()
    {
        // hicolor's index (which folders hold which sizes) is the system's; the icons are the staged ones.
        QVERIFY(QFileInfo::exists("/usr/share/icons/hicolor/index.theme"));
        QDir().mkpath(TestEnv::Home() + "/theme/hicolor");
        QFile::copy("/usr/share/icons/hicolor/index.theme", TestEnv::Home() + "/theme/hicolor/index.theme");
        QIcon::setThemeSearchPaths({TestEnv::Home() + "/theme", usr + "/share/icons"});
        QIcon::setThemeName("hicolor");
        const QIcon icon = QIcon::fromTheme(DesktopValue("Icon"));
        QVERIFY(!icon.isNull());
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
            const QString png =
                QString("%1/share/icons/hicolor/%2x%2/apps/avirolauncher.png").arg(usr).arg(size);
            QCOMPARE(QImageReader(png).size(), QSize(size, size));
        }
    }

    // The installed program starts headless against the sandbox: the store confirms its version and it shows
    // its first page.
    void installedProgramStarts()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.Start("catalogue.json"));

        QProcess launcher;
        launcher.setProcessChannelMode(QProcess::MergedChannels);
        launcher.setWorkingDirectory(TestEnv::Home());
        launcher.start(usr + "/bin/AviroLauncher", QStringList());
        QVERIFY(launcher.waitForStarted());
        QString log;
        const bool started = TestEnv::WaitFor(
            [&] {
                log += QString::fromUtf8(launcher.readAll());
                const int versionChecked = log.indexOf(QRegularExpression("GetLauncherVersion +Succ"));
                return versionChecked >= 0 &&
                       log.indexOf("LauncherOp::switchPage \"Welcome\"", versionChecked) >= 0;
            },
            30000);
        const bool stillRunning = launcher.state() == QProcess::Running;
        launcher.terminate();
        launcher.waitForFinished(5000);
        QVERIFY2(started && stillRunning, qPrintable(log));
        QVERIFY2(!log.contains("GlobalUiOp::showError"), qPrintable(log));
        QVERIFY(!sandbox.Requests("store").isEmpty());
    }
};

AVIRO_TEST_MAIN(TestDesktopInstall)
#include "tst_desktopinstall.moc"
