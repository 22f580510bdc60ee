#include "Certificates.h"

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <initializer_list>
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

// What a certificate says of itself; the defaults give a server certificate for the sandbox's addresses.
struct Profile
{
    const char* commonName;
    long fromSeconds = -3600; // validity, from now
    long toSeconds = 825 * 86400L;
    bool ca = false;
    const char* usage = "serverAuth";
    const char* names = "DNS:localhost,IP:127.0.0.1";
};

CertPtr MakeCert(EVP_PKEY* key, const Profile& profile, X509* issuer, EVP_PKEY* issuerKey, long serial)
{
    CertPtr cert(X509_new(), X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), profile.fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), profile.toSeconds);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Aviro Sandbox"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(profile.commonName), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer != nullptr ? issuer : cert.get();
    bool ok = AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (profile.ca) {
        ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
             AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE") &&
             AddExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
             AddExtension(cert.get(), signer, NID_ext_key_usage, profile.usage) &&
             AddExtension(cert.get(), signer, NID_subject_alt_name, profile.names);
    }
    if (issuer != nullptr) {
        ok = ok && AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid");
    }
    if (!ok || X509_sign(cert.get(), issuerKey, EVP_sha256()) == 0) {
        return CertPtr(nullptr, X509_free);
    }
    return cert;
}

bool WritePem(const std::string& path, std::initializer_list<X509*> chain, EVP_PKEY* key = nullptr)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    bool ok = key == nullptr || PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    for (X509* cert : chain) {
        ok = ok && cert != nullptr && PEM_write_X509(file, cert) == 1;
    }
    return std::fclose(file) == 0 && ok;
}

// Chains that a client trusting only the sandbox's CA must refuse for 127.0.0.1 (or, for the wildcard,
// for sandbox.localhost), each leaf first as a server sends it.
bool WriteRefusedChains(const std::string& folder, X509* ca, EVP_PKEY* caKey, X509* server,
                        EVP_PKEY* serverKey, long serial)
{
    KeyPtr key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key) {
        return false;
    }
    Profile otherCaProfile{"Aviro Sandbox CA"};
    otherCaProfile.ca = true;
    CertPtr otherCa = MakeCert(key.get(), otherCaProfile, nullptr, key.get(), serial);
    Profile expired{"127.0.0.1"};
    expired.fromSeconds = -2 * 86400L;
    expired.toSeconds = -86400L;
    Profile clientOnly{"127.0.0.1"};
    clientOnly.usage = "clientAuth";
    Profile wildcard{"*.localhost"};
    wildcard.names = "DNS:*.localhost";
    CertPtr fromOtherCa = MakeCert(key.get(), Profile{"127.0.0.1"}, otherCa.get(), key.get(), serial + 1);
    CertPtr fromLeaf = MakeCert(key.get(), Profile{"127.0.0.1"}, server, serverKey, serial + 2);
    return WritePem(folder + "/expired.pem", {MakeCert(key.get(), expired, ca, caKey, serial + 3).get()}) &&
           WritePem(folder + "/client-only.pem",
                    {MakeCert(key.get(), clientOnly, ca, caKey, serial + 4).get()}) &&
           WritePem(folder + "/one-label-wildcard.pem",
                    {MakeCert(key.get(), wildcard, ca, caKey, serial + 5).get()}) &&
           WritePem(folder + "/other-ca.pem", {fromOtherCa.get(), otherCa.get()}) &&
           WritePem(folder + "/leaf-as-issuer.pem", {fromLeaf.get(), server});
}

} // namespace

bool Certificates::Ensure(const std::string& stateDir)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const std::string refused = stateDir + "/refused";
    fs::create_directories(refused, error);
    caFile = stateDir + "/ca.pem";
    certFile = stateDir + "/server.pem";
    keyFile = stateDir + "/server.key";
    if (fs::exists(caFile) && fs::exists(certFile) && fs::exists(keyFile) &&
        fs::exists(refused + "/leaf-as-issuer.pem")) {
        return true;
    }
    KeyPtr caKey(EVP_EC_gen("P-256"), EVP_PKEY_free);
    KeyPtr serverKey(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!caKey || !serverKey) {
        std::fprintf(stderr, "sandbox: cannot create keys\n");
        return false;
    }
    const long serial = static_cast<long>(std::time(nullptr)) * 10;
    Profile caProfile{"Aviro Sandbox CA"};
    caProfile.ca = true;
    caProfile.toSeconds = 3650 * 86400L;
    CertPtr ca = MakeCert(caKey.get(), caProfile, nullptr, caKey.get(), serial);
    if (!ca) {
        std::fprintf(stderr, "sandbox: cannot create the CA certificate\n");
        return false;
    }
    CertPtr server = MakeCert(serverKey.get(), Profile{"127.0.0.1"}, ca.get(), caKey.get(), serial + 1);
    if (!server) {
        std::fprintf(stderr, "sandbox: cannot create the server certificate\n");
        return false;
    }
    const bool ok =
        WritePem(keyFile, {}, serverKey.get()) && WritePem(certFile, {server.get()}) &&
        WritePem(stateDir + "/ca.key", {}, caKey.get()) && WritePem(caFile, {ca.get()}) &&
        WriteRefusedChains(refused, ca.get(), caKey.get(), server.get(), serverKey.get(), serial + 2);
    if (!ok) {
        std::fprintf(stderr, "sandbox: cannot write certificates to %s\n", stateDir.c_str());
    }
    return ok;
}
