#include "Certificates.h"

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (ext == nullptr) {
        return false;
    }
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

CertPtr MakeCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, long days,
                 long serial)
{
    CertPtr cert(X509_new(), X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * 86400L);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Aviro Sandbox"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer != nullptr ? issuer : cert.get();
    bool ok = AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (issuer == nullptr) {
        ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
             AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE") &&
             AddExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
             AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth") &&
             AddExtension(cert.get(), signer, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") &&
             AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid");
    }
    if (!ok || X509_sign(cert.get(), issuerKey, EVP_sha256()) == 0) {
        return CertPtr(nullptr, X509_free);
    }
    return cert;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    const bool ok = cert != nullptr
                        ? PEM_write_X509(file, cert) == 1
                        : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(file);
    return ok;
}

} // namespace

bool Certificates::Ensure(const std::string& stateDir)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(stateDir, error);
    caFile = stateDir + "/ca.pem";
    certFile = stateDir + "/server.pem";
    keyFile = stateDir + "/server.key";
    if (fs::exists(caFile) && fs::exists(certFile) && fs::exists(keyFile)) {
        return true;
    }
    KeyPtr caKey(EVP_EC_gen("P-256"), EVP_PKEY_free);
    KeyPtr serverKey(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!caKey || !serverKey) {
        std::fprintf(stderr, "sandbox: cannot create keys\n");
        return false;
    }
    const long serial = static_cast<long>(std::time(nullptr));
    CertPtr ca = MakeCert(caKey.get(), "Aviro Sandbox CA", nullptr, caKey.get(), 3650, serial);
    if (!ca) {
        std::fprintf(stderr, "sandbox: cannot create the CA certificate\n");
        return false;
    }
    CertPtr server = MakeCert(serverKey.get(), "127.0.0.1", ca.get(), caKey.get(), 825, serial + 1);
    if (!server) {
        std::fprintf(stderr, "sandbox: cannot create the server certificate\n");
        return false;
    }
    const bool ok =
        WritePem(keyFile, nullptr, serverKey.get()) && WritePem(certFile, server.get(), nullptr) &&
        WritePem(stateDir + "/ca.key", nullptr, caKey.get()) && WritePem(caFile, ca.get(), nullptr);
    if (!ok) {
        std::fprintf(stderr, "sandbox: cannot write certificates to %s\n", stateDir.c_str());
    }
    return ok;
}
