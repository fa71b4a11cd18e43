#include "standin/certificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace sucaigang::standin {
namespace {

template <auto Free>
struct Deleter {
  template <class T>
  void operator()(T* p) const {
    Free(p);
  }
};
using KeyHolder = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using CertHolder = std::unique_ptr<X509, Deleter<X509_free>>;
using BioHolder = std::unique_ptr<BIO, Deleter<BIO_free>>;
using ExtHolder = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

std::string ToPem(auto write) {
  BioHolder bio(BIO_new(BIO_s_mem()));
  write(bio.get());
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "sucaigang-cert-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

Certificate Make(const TempFolder& folder) {
  KeyHolder key(EVP_RSA_gen(2048));
  CertHolder cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), static_cast<long>(getpid()));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  for (auto [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
                            std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    ExtHolder ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    X509_add_ext(cert.get(), ext.get(), -1);
  }
  X509_sign(cert.get(), key.get(), EVP_sha256());

  Certificate out;
  out.certificatePem = ToPem([&](BIO* b) { PEM_write_bio_X509(b, cert.get()); });
  out.privateKeyPem = ToPem([&](BIO* b) {
    PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
  out.certificateFile = (folder.path / "cert.pem").string();
  out.privateKeyFile = (folder.path / "key.pem").string();
  std::ofstream(out.certificateFile) << out.certificatePem;
  std::ofstream(out.privateKeyFile) << out.privateKeyPem;
  return out;
}

}  // namespace

const Certificate& SelfSignedCertificate() {
  static const TempFolder folder;
  static const Certificate certificate = Make(folder);
  return certificate;
}

}  // namespace sucaigang::standin
