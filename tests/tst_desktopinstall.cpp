#include "Payload.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QIcon>
#include <QImageReader>

// The launcher installed by `cmake --install` into a staging folder (DESTDIR), laid out as under /usr.
class TestDesktopInstall : public QObject
{
    Q_OBJECT
private:
    const QString appId = QStringLiteral("com.vomoskyworks.AviroLauncher");
    QString usr;

    // Runs a program to its end: its exit code (-1 when it did not run to its end) and its merged output.
    static QPair<int, QString>
    Run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
        return {ended ? process.exitCode() : -1, QString::fromUtf8(process.readAll())};
    }

    QString DesktopFile() const { return usr + "/share/applications/" + appId + ".desktop"; }
    QString MetainfoFile() const { return usr + "/share/metainfo/" + appId + ".metainfo.xml"; }

    // The value of a key of the desktop entry's main group.
    QString DesktopValue(const QString& key) const
    {
        const QRegularExpression line("^" + QRegularExpression::escape(key) + "=(.*)$",
                                      QRegularExpression::MultilineOption);
        return line.match(QString::fromUtf8(Payload::ReadFile(DesktopFile()))).captured(1);
    }

private slots:
    void initTestCase()
    {
        const QString root = TestEnv::Home() + "/staging";
        usr = root + "/usr";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", root);
        const auto [status, output] =
            Run(AVIRO_CMAKE, {"--install", AVIRO_BUILD_DIR, "--prefix", "/usr", "--component", "launcher"},
                environment);
        QVERIFY2(status == 0, qPrintable(output));
    }

    void desktopEntryIsValid()
    {
        QCOMPARE(Run("desktop-file-validate", {DesktopFile()}), qMakePair(0, QString()));
        // The entry starts the installed program; its icon is checked where the theme looks.
        QCOMPARE(DesktopValue("Exec"), QString("AviroLauncher"));
    }

    void metainfoIsValid()
    {
        const auto [status, output] = Run("appstreamcli", {"validate", "--no-net", MetainfoFile()});
        QVERIFY2(status == 0, qPrintable(output));

        QXmlStreamReader xml(Payload::ReadFile(MetainfoFile()));
        QStringList seen;
        int screenshots = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) {
                continue;
            }
            const auto attributes = xml.attributes();
            if (xml.name() == QLatin1String("release")) {
                seen << "release " + attributes.value("version").toString();
            } else if (xml.name() == QLatin1String("launchable")) {
                seen << "launchable " + xml.readElementText();
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
        QCOMPARE(seen, (QStringList{"launchable " + QFileInfo(DesktopFile()).fileName(),
                                    "release " AVIRO_VERSION}));
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
        QVERIFY2(started && stillRunning && !log.contains("GlobalUiOp::showError"), qPrintable(log));
        QVERIFY(!sandbox.Requests("store").isEmpty());
    }
};

AVIRO_TEST_MAIN(TestDesktopInstall)
#include "tst_desktopinstall.moc"
