#include "BackEnd.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "ShownText.h"
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
        Write("huge.txt", QByteArray(2 * RestClient::kMaxReplyBytes, 'h'));
        Write("long.txt", QByteArray(ShownText::kNoteChars + 1000, 'n'));
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), served.path()));
        sandbox.AddToken("tok-notes", "pilot@example.com");
        backEnd = std::make_unique<BackEnd>();
        QString error;
        QVERIFY2(backEnd->Init(error), qPrintable(error));
        notes = backEnd->notesOp();
        seen = std::make_unique<Recorder>(backEnd.get());
        backEnd->Peer<RamDB>()->SetString(USER_TOKEN, "tok-notes");
        bool done = false;
        backEnd->Peer<ShopAccountMng>()->CreateSession([&](bool ok, const QString&) {
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

    // At most five notes, newest first, in the user's language where a note has several; whatever order
    // the downloads end in, the lists are announced once, after the last. Only web addresses are fetched.
    void shown_data()
    {
        Columns<int, QStringList, QString, QStringList>({"language", "files", "slow", "texts"});
        const QString unreadable("Failed to get version info.");
        const QString refused("Network Error\nError: 006_000 {301/0083}");
        Row("five newest of seven", 0,
            QStringList{"1.0.txt", "1.1.json", "1.2.JSON", "1.3.json", "1.4.txt", "1.5.json", "1.6.txt"},
            QString(), QStringList{"plain note 1.6", unreadable, "plain note 1.4", unreadable, "中文 1.2"});
        Row("Chinese", 1, QStringList{"1.0.txt", "1.1.json"}, QString(),
            QStringList{"中文 1.1", "plain note 1.0"});
        Row("missing note", 0, QStringList{"1.0.txt", "missing.json", "1.1.json"}, QString(),
            QStringList{"English 1.1", "Network Error\nError: 006_000 {203/0083}", "plain note 1.0"});
        Row("only web addresses", 0,
            QStringList{"1.0.txt", "/etc/hostname", "file:///etc/hostname", "ftp://127.0.0.1/x"}, QString(),
            QStringList{refused, refused, refused, "plain note 1.0"});
        Row("newest note last to arrive", 0, QStringList{"1.0.txt", "1.1.json", "1.4.txt"}, "1.4.txt",
            QStringList{"plain note 1.4", "English 1.1", "plain note 1.0"});
        Row("notes within their bounds", 0, QStringList{"huge.txt", "long.txt"}, QString(),
            QStringList{QString(ShownText::kNoteChars - 1, 'n') + "\u2026",
                        "The server's answer is too large\nError: 006_000 {299/0083}"});
        Row("empty list", 0, QStringList(), QString(), QStringList());
        Row("empty note", 0, QStringList{"empty.txt", "1.0.txt"}, QString(),
            QStringList{"plain note 1.0", ""});
    }
    void shown()
    {
        auto [language, files, slow, texts] =
            Fetch<int, QStringList, QString, QStringList>({"language", "files", "slow", "texts"});
        backEnd->multiLang()->setLangIdx(language);
        sandbox.SetCatalogue(Catalogue(files), served.path());
        if (!slow.isEmpty()) {
            sandbox.AddFault("files", "/files/notes/" + slow, {{"stallMs", 700}});
        }
        QSignalSpy list(notes, &NotesOp::verListChanged);
        QSignalSpy shown(notes, &NotesOp::verNotesChanged);
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        seen->Clear();
        notes->GetVerNotes();
        QVERIFY(ready.wait(15000));
        QStringList versions;
        for (int i = 0; i < texts.size(); ++i) {
            versions << QString("1.%1").arg(files.size() - 1 - i);
        }
        QCOMPARE(notes->verList(), versions);
        QCOMPARE(notes->verNotes(), texts);
        QCOMPARE(list.count(), 1);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(sandbox.Gets("files").filter("/files/notes/").size(),
                 texts.size() - texts.filter("{301/0083}").size());
        QCOMPARE(seen->waits, QStringList{"Obtaining Version Info"});
        // The spinner stays up while the notes download, and goes once they are all in.
        QCOMPARE(seen->hides, 1);
        QVERIFY(!seen->SpinnerShown());
        QVERIFY(seen->errors.isEmpty());
    }

    // Notes already shown follow a language switch, without another download.
    void notesFollowALanguageSwitch()
    {
        sandbox.SetCatalogue(Catalogue({"1.0.txt", "1.1.json"}), served.path());
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        notes->GetVerNotes();
        QVERIFY(ready.wait(15000));
        QCOMPARE(notes->verNotes(), (QStringList{"English 1.1", "plain note 1.0"}));
        sandbox.ClearRequests();
        backEnd->multiLang()->setLangIdx(1);
        QCOMPARE(notes->verNotes(), (QStringList{"中文 1.1", "plain note 1.0"}));
        QVERIFY(sandbox.Gets("files").isEmpty());
    }

    // The dialog opened again while the notes of the first opening still download.
    void askedForAgainWhileTheyDownload()
    {
        sandbox.SetCatalogue(Catalogue({"1.0.txt", "1.1.json", "1.4.txt"}), served.path());
        sandbox.AddFault("files", "/files/notes/*", {{"stallMs", 1500}, {"times", 3}});
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        seen->Clear();
        notes->GetVerNotes();
        QTest::qWait(300);
        notes->GetVerNotes();
        QVERIFY(ready.wait(10000));
        const QStringList texts{"plain note 1.4", "English 1.1", "plain note 1.0"};
        QCOMPARE(notes->verNotes(), texts);
        QTest::qWait(2000);
        QCOMPARE(notes->verNotes(), texts);
        QVERIFY(!seen->SpinnerShown());
        QVERIFY(seen->errors.isEmpty());
    }

    void noteListFailureShowsTheErrorBox()
    {
        sandbox.AddFault("store", "/api/v2/appversion", {{"status", 500}, {"times", 1}});
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        seen->Clear();
        notes->GetVerNotes();
        QVERIFY(TestEnv::WaitFor([&] { return !seen->errors.isEmpty(); }));
        QCOMPARE(seen->errors, QStringList{"Network Error\nError: 008_006 {000/0235}\nHTTP 500 from " +
                                           sandbox.Origin("store") + "/api/v2/appversion"});
        QVERIFY(!seen->SpinnerShown());
        QCOMPARE(ready.count(), 0);
    }
};

AVIRO_TEST_MAIN(TestNotesOp)
#include "tst_notesop.moc"
