#include "Md5Hash.h"

#ifdef AVIRO_OPENSSL_MD5
#include "Logging.h"

#include <QCryptographicHash>
#include <openssl/evp.h>

// OpenSSL's digest where it can give one (a system whose OpenSSL refuses MD5, as in a FIPS mode, cannot);
// Qt's otherwise, so that a refusal never reads as a wrong package.
struct Md5Hash::State
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
    bool openssl = false;
    QCryptographicHash fallback{QCryptographicHash::Md5};
};

Md5Hash::Md5Hash() : state(std::make_unique<State>())
{
    state->openssl = state->context && EVP_DigestInit_ex(state->context.get(), EVP_md5(), nullptr) == 1;
    if (!state->openssl) {
        qCWarning(lcInstall) << "OpenSSL gives no MD5 here: Qt's is used";
    }
}

void Md5Hash::Add(const char* data, qint64 length)
{
    if (state->openssl) {
        // Updating an initialised MD5 context has no failure of its own to report.
        EVP_DigestUpdate(state->context.get(), data, size_t(length));
    } else {
        state->fallback.addData(data, int(length));
    }
}

QByteArray Md5Hash::Result()
{
    if (!state->openssl) {
        return state->fallback.result();
    }
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state->context.get(), reinterpret_cast<unsigned char*>(digest.data()), &length) !=
        1) {
        return QByteArray();
    }
    digest.resize(int(length));
    return digest;
}
#else
#include <QCryptographicHash>

struct Md5Hash::State
{
    QCryptographicHash hash{QCryptographicHash::Md5};
};

Md5Hash::Md5Hash() : state(std::make_unique<State>()) {}

void Md5Hash::Add(const char* data, qint64 length)
{
    state->hash.addData(data, int(length));
}

QByteArray Md5Hash::Result()
{
    return state->hash.result();
}
#endif

Md5Hash::~Md5Hash() = default;
