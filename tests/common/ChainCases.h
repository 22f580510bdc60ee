#pragma once

#include "Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QSslCertificate>
#include <QTest>

// Which chains the check of a configured CA takes: the sandbox server's own, as it presents it (chain ""),
// and the chains the sandbox makes beside its CA that must be refused.
inline void ChainCases()
{
    QTest::addColumn<QString>("chain");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("withCa");
    QTest::addColumn<bool>("trusted");
    QTest::newRow("its address") << ""
                                 << "127.0.0.1" << true << true;
    QTest::newRow("its name") << ""
                              << "LocalHost" << true << true;
    QTest::newRow("another address") << ""
                                     << "127.0.0.2" << true << false;
    QTest::newRow("another name") << ""
                                  << "example.com" << true << false;
    QTest::newRow("no host") << ""
                             << "" << true << false;
    QTest::newRow("its own certificate for a root") << ""
                                                    << "127.0.0.1" << false << false;
    QTest::newRow("expired") << "expired"
                             << "127.0.0.1" << true << false;
    QTest::newRow("for clients only") << "client-only"
                                      << "127.0.0.1" << true << false;
    QTest::newRow("another CA of the same name") << "other-ca"
                                                 << "127.0.0.1" << true << false;
    QTest::newRow("issued by a server's certificate") << "leaf-as-issuer"
                                                      << "127.0.0.1" << true << false;
    QTest::newRow("wildcard over one label") << "one-label-wildcard"
                                             << "sandbox.localhost" << true << false;
}

inline void CheckChainCase(const QList<QSslCertificate>& served, const QString& caFile)
{
    QFETCH(QString, chain);
    QFETCH(QString, host);
    QFETCH(bool, withCa);
    QFETCH(bool, trusted);
    const QList<QSslCertificate> certificates =
        chain.isEmpty()
            ? served
            : QSslCertificate::fromPath(QFileInfo(caFile).dir().filePath("refused/" + chain + ".pem"));
    QVERIFY(!certificates.isEmpty());
    const QList<QSslCertificate> roots = withCa ? QSslCertificate::fromPath(caFile) : certificates.mid(0, 1);
    QVERIFY(!roots.isEmpty());
    QCOMPARE(Platform::ChainsToRoot(certificates, host, roots), trusted);
}
