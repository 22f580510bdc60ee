#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocalServer>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <algorithm>
#include <windows.h>
#include <wininet.h> // SECURITY_FLAG_IGNORE_*
#else
#include <cerrno>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>
#include <vector>
#endif

#ifdef Q_OS_WIN
namespace {

PCCERT_CONTEXT AddTo(HCERTSTORE store, const QSslCertificate& certificate)
{
    const QByteArray der = certificate.toDer();
    PCCERT_CONTEXT added = nullptr;
    CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.constData()),
                                     DWORD(der.size()), CERT_STORE_ADD_ALWAYS, &added);
    return added;
}

QSslCertificate ToQt(PCCERT_CONTEXT certificate)
{
    return QSslCertificate(QByteArray(reinterpret_cast<const char*>(certificate->pbCertEncoded),
                                      int(certificate->cbCertEncoded)),
                           QSsl::Der);
}

// Whether the certificate names the host: an address among its IP addresses, a name among its DNS
// names, where "*." stands for exactly one leftmost label, and only above two labels or more (never for
// every name under a top-level domain). Checked here rather than by the SSL policy, which on Wine matches
// DNS names only.
bool NamesHost(const QSslCertificate& certificate, const QString& host)
{
    const auto names = certificate.subjectAlternativeNames();
    const QHostAddress address(host);
    if (!address.isNull()) {
        const QStringList addresses = names.values(QSsl::IpAddressEntry);
        return std::any_of(addresses.begin(), addresses.end(),
                           [&](const QString& entry) { return QHostAddress(entry) == address; });
    }
    const QString wanted = host.toLower();
    const QStringList dnsNames = names.values(QSsl::DnsEntry);
    return std::any_of(dnsNames.begin(), dnsNames.end(), [&](const QString& entry) {
        const QString name = entry.toLower();
        if (!name.startsWith(QLatin1String("*."))) {
            return name == wanted;
        }
        const int dot = wanted.indexOf(QLatin1Char('.'));
        return name.indexOf(QLatin1Char('.'), 2) > 2 && dot > 0 && wanted.mid(dot) == name.mid(1);
    });
}

bool IsTrustedChain(PCCERT_CHAIN_CONTEXT chain, const QString& host, const QList<QSslCertificate>& roots)
{
    if (chain->cChain != 1 || chain->rgpChain[0]->cElement == 0) {
        return false;
    }
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    // The root being unknown to the system is the one fault forgiven, and only for one of ours.
    if (!roots.contains(ToQt(simple->rgpElement[simple->cElement - 1]->pCertContext)) ||
        (chain->TrustStatus.dwErrorStatus & ~CERT_TRUST_IS_UNTRUSTED_ROOT) != 0) {
        return false;
    }
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof(ssl);
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof(policy);
    policy.dwFlags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof(status);
    return CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
           status.dwError == 0 && NamesHost(ToQt(simple->rgpElement[0]->pCertContext), host);
}

} // namespace
#else
namespace {

X509* ToX509(const QSslCertificate& certificate)
{
    const QByteArray der = certificate.toDer();
    auto* data = reinterpret_cast<const unsigned char*>(der.constData());
    return d2i_X509(nullptr, &data, long(der.size()));
}

} // namespace
#endif

QString Platform::UserName()
{
#ifdef Q_OS_WIN
    wchar_t name[257];
    DWORD size = 257;
    if (GetUserNameW(name, &size) == 0) {
        return {};
    }
    return QString::fromWCharArray(name, int(size) - 1);
#else
    long bufSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(bufSize > 0 ? size_t(bufSize) : 16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) != 0 || result == nullptr) {
        return {};
    }
    return QString::fromLocal8Bit(result->pw_name);
#endif
}

QString Platform::OsName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("windows");
#else
    return QSysInfo::kernelType();
#endif
}

QString Platform::OsVersion()
{
#ifdef Q_OS_WIN
    switch (QSysInfo::windowsVersion()) {
    case QSysInfo::WV_2000:
        return QStringLiteral("2000");
    case QSysInfo::WV_XP:
        return QStringLiteral("XP");
    case QSysInfo::WV_2003:
        return QStringLiteral("2003");
    case QSysInfo::WV_VISTA:
        return QStringLiteral("VISTA");
    case QSysInfo::WV_WINDOWS7:
        return QStringLiteral("7");
    case QSysInfo::WV_WINDOWS8:
        return QStringLiteral("8");
    case QSysInfo::WV_WINDOWS8_1:
        return QStringLiteral("8.1");
    case QSysInfo::WV_WINDOWS10:
        return QStringLiteral("10");
    default:
        return {};
    }
#else
    // The distribution's version ("12" on Debian 12); empty where the system does not say.
    const QString version = QSysInfo::productVersion();
    return version == QLatin1String("unknown") ? QString() : version;
#endif
}

QString Platform::ExtractorProgram()
{
#ifdef Q_OS_WIN
    return QStringLiteral("./7z.exe");
#else
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/7z");
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("7z"));
    return onPath.isEmpty() ? QStringLiteral("7z") : onPath;
#endif
}

QString Platform::UserConfigDir()
{
#ifdef Q_OS_WIN
    // The roaming application data, not the local one that QStandardPaths names.
    const QString roaming = qEnvironmentVariable("APPDATA");
    if (!roaming.isEmpty()) {
        return QDir::fromNativeSeparators(roaming);
    }
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString Platform::DefaultGameLocation()
{
#ifdef Q_OS_WIN
    return QStringLiteral("D:/QRT");
#else
    return QDir::homePath() + QStringLiteral("/Games/Aviro");
#endif
}

bool Platform::IsLink(const QFileInfo& info)
{
    return info.isSymLink() || info.isJunction();
}

bool Platform::RemoveLink(const QString& path)
{
    // On Windows a link to a folder (junction or symbolic link) is a folder entry that only rmdir removes,
    // and that removes the link, not the folder it leads to.
    return QFile::remove(path) || QDir().rmdir(path);
}

bool Platform::IsDiskFull(const QFileDevice& file)
{
    // Qt keeps the system's text of the failure, not its number.
    const QString error = file.errorString();
#ifdef Q_OS_WIN
    return error == qt_error_string(ERROR_DISK_FULL) || error == qt_error_string(ERROR_HANDLE_DISK_FULL);
#else
    return error == qt_error_string(ENOSPC) || error == qt_error_string(EDQUOT);
#endif
}

void Platform::AdviseSequentialReading(const QFileDevice& file)
{
#ifdef Q_OS_WIN
    // Windows takes the hint only when the file is opened, which Qt does not offer; its cache reads ahead
    // anyway.
    Q_UNUSED(file)
#else
    // A larger read-ahead; only a hint, so its failure changes nothing.
    posix_fadvise(file.handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

void Platform::ReleaseFreeMemory()
{
#if defined(__GLIBC__)
    // glibc gives back only the top of its heap by itself; what the start-up parsed and compiled and then
    // freed stays resident in the middle of it.
    malloc_trim(0);
#endif
}

bool Platform::IsOutOfSpace(const QString& folder)
{
    // Below this a failed extraction is taken for a full disk: no real file system runs that close to empty.
    constexpr qint64 kNearlyFullBytes = 1024 * 1024;
    const QStorageInfo storage(folder);
    return storage.isValid() && storage.bytesAvailable() < kNearlyFullBytes;
}

bool Platform::ProcessExists(qint64 pid)
{
    if (pid <= 0) {
        return false;
    }
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (process == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD code = 0;
    const bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return alive;
#else
    return kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

void Platform::CloseLocalServer(QLocalServer* server)
{
#ifdef Q_OS_WIN
    server->close();
#else
    // A second link keeps the other process's socket file while Qt removes the name, then takes its place.
    const QByteArray name = QFile::encodeName(server->fullServerName());
    const QByteArray kept = name + ".kept";
    ::unlink(kept.constData());
    const bool linked = ::link(name.constData(), kept.constData()) == 0;
    server->close();
    if (linked) {
        ::rename(kept.constData(), name.constData());
    }
#endif
}

bool Platform::ChainsToRoot(const QList<QSslCertificate>& chain, const QString& host,
                            const QList<QSslCertificate>& roots)
{
#ifdef Q_OS_WIN
    if (chain.isEmpty() || roots.isEmpty()) {
        return false;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (store == nullptr) {
        return false;
    }
    const PCCERT_CONTEXT leaf = AddTo(store, chain.first());
    for (const QSslCertificate& certificate : chain.mid(1) + roots) {
        CertFreeCertificateContext(AddTo(store, certificate));
    }
    bool trusted = false;
    if (leaf != nullptr) {
        char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
        LPSTR usages[] = {serverAuth};
        CERT_CHAIN_PARA para{};
        para.cbSize = sizeof(para);
        para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
        para.RequestedUsage.Usage.cUsageIdentifier = 1;
        para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
        PCCERT_CHAIN_CONTEXT context = nullptr;
        if (CertGetCertificateChain(nullptr, leaf, nullptr, store, &para, 0, nullptr, &context)) {
            trusted = IsTrustedChain(context, host, roots);
            CertFreeCertificateChain(context);
        }
        CertFreeCertificateContext(leaf);
    }
    CertCloseStore(store, 0);
    return trusted;
#else
    // OpenSSL takes an empty name for no name to check at all.
    if (chain.isEmpty() || roots.isEmpty() || host.isEmpty()) {
        return false;
    }
    const std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(), X509_STORE_free);
    const std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> untrusted(
        sk_X509_new_null(), [](STACK_OF(X509) * stack) { sk_X509_pop_free(stack, X509_free); });
    const std::unique_ptr<X509, decltype(&X509_free)> leaf(ToX509(chain.first()), X509_free);
    const std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> context(X509_STORE_CTX_new(),
                                                                                  X509_STORE_CTX_free);
    if (!store || !untrusted || !context || !leaf) {
        return false;
    }
    for (const QSslCertificate& root : roots) {
        X509* certificate = ToX509(root);
        if (certificate != nullptr) {
            X509_STORE_add_cert(store.get(), certificate);
            X509_free(certificate);
        }
    }
    for (const QSslCertificate& intermediate : chain.mid(1)) {
        X509* certificate = ToX509(intermediate);
        if (certificate != nullptr && sk_X509_push(untrusted.get(), certificate) == 0) {
            X509_free(certificate);
        }
    }
    if (X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), untrusted.get()) != 1) {
        return false;
    }
    X509_STORE_CTX_set_purpose(context.get(), X509_PURPOSE_SSL_SERVER);
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
    const QByteArray name = host.toUtf8();
    const bool named = QHostAddress(host).isNull()
                           ? X509_VERIFY_PARAM_set1_host(param, name.constData(), 0) == 1
                           : X509_VERIFY_PARAM_set1_ip_asc(param, name.constData()) == 1;
    return named && X509_verify_cert(context.get()) == 1;
#endif
}
