#include "BackEnd.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

// Release notes of the newest versions, downloaded from the sandbox and shown in the user's language.
class TestNotesOp : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir served;
    std::unique_ptr<BackEnd> backEnd;
    std::unique_ptr<Recorder> seen;
    RamDB* db = nullptr;
    NotesOp* notes = nullptr;

    void Write(const QString& name, const QByteArray& content)
    {
        QDir().mkpath(served.path() + "/notes");
        QFile file(served.path() + "/notes/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    // Versions 1.0 to 1.n, oldest first, each with its note file (or the note address itself, when it is
    // one).
    QJsonObject Catalogue(const QStringList& noteFiles)
    {
        QJsonArray versions;
        for (int i = 0; i < noteFiles.size(); ++i) {
            const QString& note = noteFiles.at(i);
            versions.append(Sandbox::Version(
                QString("1.%1").arg(i), i == 0 ? 2 : 1,
                note.contains(QRegularExpression("^/|:")) ? note : "{files}/files/notes/" + note));
        }
        return Sandbox::WithVersions(Sandbox::BasicCatalogue(), versions);
    }

    bool Fetch()
    {
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        seen->Clear();
        notes->GetVerNotes();
        return ready.wait(15000) && ready.count() == 1 && !seen->SpinnerShown();
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        Write("1.0.txt", "plain note 1.0");
        Write("1.1.json", R"({"en": "English 1.1", "zh-CN": "中文 1.1"})");
        Write("1.2.JSON", R"({"zh-CN": "中文 1.2"})");
        Write("1.3.json", R"({"ja": "日本語 1.3"})");
        Write("1.4.txt", "plain note 1.4");
        Write("1.5.json", R"(not json at all)");
        Write("1.6.txt", "plain note 1.6");
        Write("empty.txt", "");
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), served.path()));
        sandbox.AddToken("tok-notes", "pilot@example.com");
        backEnd = std::make_unique<BackEnd>();
        QString error;
        QVERIFY2(backEnd->Init(error), qPrintable(error));
        db = static_cast<RamDB*>(backEnd->FindObject("RamDB"));
        notes = backEnd->notesOp();
        seen = std::make_unique<Recorder>(backEnd.get());
        db->SetString(USER_TOKEN, "tok-notes");
        bool done = false;
        static_cast<ShopAccountMng*>(backEnd->FindObject("ShopAccountMng"))
            ->CreateSession([&](bool ok, const QString&) {
                QVERIFY(ok);
                done = true;
            });
        QVERIFY(TestEnv::WaitFor([&] { return done; }));
    }

    void init()
    {
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        backEnd->multiLang()->setLangIdx(0);
    }

    void fiveNewestOfSeven()
    {
        sandbox.SetCatalogue(
            Catalogue({"1.0.txt", "1.1.json", "1.2.JSON", "1.3.json", "1.4.txt", "1.5.json", "1.6.txt"}),
            served.path());
        QVERIFY(Fetch());
        QCOMPARE(sandbox.Gets("files").filter("/files/notes/").size(), 5);
        QCOMPARE(notes->verList(), (QStringList{"1.6", "1.5", "1.4", "1.3", "1.2"}));
        QCOMPARE(notes->verNotes(),
                 (QStringList{"plain note 1.6", "Failed to get version info.", "plain note 1.4",
                              "Failed to get version info.", "中文 1.2"}));
        QCOMPARE(seen->waits, QStringList{"Obtaining Version Info"});
        QVERIFY(seen->errors.isEmpty());
    }

    void languageOfJsonNotes()
    {
        sandbox.SetCatalogue(Catalogue({"1.0.txt", "1.1.json"}), served.path());
        QVERIFY(Fetch());
        QCOMPARE(notes->verNotes(), (QStringList{"English 1.1", "plain note 1.0"}));
        backEnd->multiLang()->setLangIdx(1);
        QCOMPARE(notes->verNotes(), (QStringList{"中文 1.1", "plain note 1.0"}));
    }

    void failedDownloadShowsTheNetworkMessage()
    {
        sandbox.SetCatalogue(Catalogue({"1.0.txt", "missing.json", "1.1.json"}), served.path());
        QVERIFY(Fetch());
        QCOMPARE(notes->verList(), (QStringList{"1.2", "1.1", "1.0"}));
        QCOMPARE(notes->verNotes().at(0), QString("English 1.1"));
        QCOMPARE(notes->verNotes().at(1), QString("Network Error\nError: 006_000 {203/0083}"));
    }

    // A note comes from a web server: a local path or another scheme never shows a local file.
    void onlyWebAddressesAreFetched()
    {
        sandbox.SetCatalogue(
            Catalogue({"1.0.txt", "/etc/hostname", "file:///etc/hostname", "ftp://127.0.0.1/x"}),
            served.path());
        QVERIFY(Fetch());
        const QString refused("Network Error\nError: 006_000 {301/0083}");
        QCOMPARE(notes->verNotes(), (QStringList{refused, refused, refused, "plain note 1.0"}));
    }

    // However the downloads end, the three signals come once, after the last.
    void signalsOnceWhateverTheOrder()
    {
        sandbox.SetCatalogue(Catalogue({"1.0.txt", "1.1.json", "1.4.txt"}), served.path());
        sandbox.AddFault({{"server", "files"}, {"path", "/files/notes/1.4.txt"}, {"stallMs", 700}});
        QSignalSpy list(notes, &NotesOp::verListChanged);
        QSignalSpy texts(notes, &NotesOp::verNotesChanged);
        QVERIFY(Fetch());
        QCOMPARE(list.count(), 1);
        QCOMPARE(texts.count(), 1);
        QCOMPARE(notes->verNotes().at(0), QString("plain note 1.4"));
    }

    void emptyListAndEmptyNoteStillFinish()
    {
        sandbox.SetCatalogue(Catalogue({}), served.path());
        QVERIFY(Fetch());
        QCOMPARE(notes->verList(), QStringList());
        sandbox.SetCatalogue(Catalogue({"empty.txt", "1.0.txt"}), served.path());
        QVERIFY(Fetch());
        QCOMPARE(notes->verNotes(), (QStringList{"plain note 1.0", ""}));
    }

    void noteListFailureShowsTheErrorBox()
    {
        sandbox.AddFault(
            {{"server", "store"}, {"path", "/api/v2/appversion"}, {"status", 500}, {"times", 1}});
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        seen->Clear();
        notes->GetVerNotes();
        QVERIFY(TestEnv::WaitFor([&] { return !seen->errors.isEmpty(); }));
        QCOMPARE(seen->errors, QStringList{"Network Error\nError: 008_006 {000/0235}"});
        QVERIFY(!seen->SpinnerShown());
        QCOMPARE(ready.count(), 0);
    }
};

AVIRO_TEST_MAIN(TestNotesOp)
#include "tst_notesop.moc"
