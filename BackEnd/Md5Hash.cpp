#include "Md5Hash.h"

#ifdef AVIRO_OPENSSL_MD5
#include <openssl/evp.h>

struct Md5Hash::State
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

Md5Hash::Md5Hash() : state(std::make_unique<State>())
{
    EVP_DigestInit_ex(state->context.get(), EVP_md5(), nullptr);
}

void Md5Hash::Add(const char* data, qint64 length)
{
    EVP_DigestUpdate(state->context.get(), data, size_t(length));
}

QByteArray Md5Hash::Result()
{
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    EVP_DigestFinal_ex(state->context.get(), reinterpret_cast<unsigned char*>(digest.data()), &length);
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
