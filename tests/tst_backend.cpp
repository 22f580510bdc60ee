#include "BackEnd.h"
#include "TestEnv.h"

#include <QQmlComponent>
#include <QQmlEngine>

class TestBackEnd : public QObject
{
    Q_OBJECT
private:
    BackEnd* backEnd = nullptr;

    static QString CreationError(QQmlEngine& engine, const QByteArray& qml)
    {
        QQmlComponent component(&engine);
        component.setData(qml, QUrl("qrc:/test.qml"));
        std::unique_ptr<QObject> object(component.create());
        return object ? QString() : component.errorString();
    }

private slots:
    void initTestCase()
    {
        backEnd = new BackEnd(qApp);
        QString error;
        QVERIFY(backEnd->Init(error));
        QVERIFY(error.isEmpty());
    }

    void registryHoldsTheSharedObjects()
    {
        auto* db = static_cast<QObject*>(backEnd->FindObject("RamDB"));
        QVERIFY(qobject_cast<RamDB*>(db) != nullptr);
        QVERIFY(backEnd->FindObject("LoginOp") == nullptr);
        QVERIFY(backEnd->FindObject("ramdb") == nullptr);
        backEnd->RegisterObject("RamDB", this);
        QCOMPARE(backEnd->FindObject("RamDB"), static_cast<void*>(db));
    }

    void singletonSeenFromQml()
    {
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(
            "import QtQml 2.12\nimport BackEnd 1.0\n"
            "QtObject { property string v: BE.version; property string loc: BE.globalData.gameLocation;"
            " property var langs: BE.multiLang.langs; property var notes: BE.notesOp.verList;"
            " property bool down: BE.launcherOp.isDown; property string captcha: BE.loginOp.verifyUrl;"
            " property int quality: BE.gameSettings.imageQuality; property bool ui: BE.globalUi !== null }",
            QUrl("qrc:/test.qml"));
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        QCOMPARE(object->property("v").toString(), QString("2.1.0.1"));
        QCOMPARE(object->property("langs").toStringList().size(), 2);
        QCOMPARE(object->property("notes").toStringList(), QStringList());
        QCOMPARE(object->property("quality").toInt(), 2);
        QCOMPARE(object->property("ui").toBool(), true);
        QCOMPARE(QQmlEngine::objectOwnership(backEnd), QQmlEngine::CppOwnership);
    }

    void qmlCannotCreateBackEndTypes_data()
    {
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("LoginOp") << QByteArray("BackEnd.LoginOp") << QByteArray("LoginOp");
        QTest::newRow("LauncherOp") << QByteArray("BackEnd.LauncherOp") << QByteArray("LauncherOp");
        QTest::newRow("GlobalData") << QByteArray("BackEnd.GlobalData") << QByteArray("GlobalData");
        QTest::newRow("GlobalUi") << QByteArray("BackEnd.GlobalUi") << QByteArray("GlobalUi");
        QTest::newRow("MultiLang") << QByteArray("BackEnd.MultiLang") << QByteArray("MultiLang");
        QTest::newRow("GameSettings") << QByteArray("BackEnd.GameSettings") << QByteArray("GameSettings");
    }
    void qmlCannotCreateBackEndTypes()
    {
        QFETCH(QByteArray, module);
        QFETCH(QByteArray, type);
        QQmlEngine engine;
        const QString error =
            CreationError(engine, "import QtQml 2.12\nimport " + module + " 1.0\n" + type + " {}");
        QVERIFY2(error.contains(QString::fromLatin1(type + " use for instance")), qPrintable(error));
    }
};

AVIRO_TEST_MAIN(TestBackEnd)
#include "tst_backend.moc"
