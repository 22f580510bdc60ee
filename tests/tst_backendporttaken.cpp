#include "BackEnd.h"
#include "TestEnv.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QUdpSocket>

// When another program holds the game channel's port, the back end cannot start and registers nothing.
class TestBackEndPortTaken : public QObject
{
    Q_OBJECT
private slots:
    void initFailsWithTheChannelText()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress(QHostAddress::LocalHost), 9998, QAbstractSocket::DontShareAddress));
        BackEnd backEnd;
        QString error;
        QVERIFY(!backEnd.Init(error));
        QCOMPARE(error, QString("Network Adapter Occupied\nError: 010_000 {000/0130}"));
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml 2.12\nimport BackEnd 1.0\nQtObject {}", QUrl("qrc:/test.qml"));
        QVERIFY(component.isError());
        QVERIFY2(component.errorString().contains("BackEnd"), qPrintable(component.errorString()));
    }
};

AVIRO_TEST_MAIN(TestBackEndPortTaken)
#include "tst_backendporttaken.moc"
