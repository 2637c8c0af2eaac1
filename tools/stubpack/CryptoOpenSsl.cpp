// The builder's cryptography through OpenSSL 3's libcrypto.
#include "Crypto.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "agent/SignedInfo.h"

namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
struct PkeyCtxFree {
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct BioFree {
  void operator()(BIO* p) const { BIO_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

// The library's reason for the last failure, for a message.
std::string LibraryError() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (!code) return "";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return std::string(" (") + text + ")";
}

bool IsP256(EVP_PKEY* key) {
  if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return false;
  char group[64] = {};
  size_t length = 0;
  return EVP_PKEY_get_group_name(key, group, sizeof group, &length) == 1 && std::strcmp(group, "prime256v1") == 0;
}

// The SubjectPublicKeyInfo DER of a key, the point uncompressed.
bool SpkiOf(EVP_PKEY* key, std::string& spki) {
  spki.clear();
  EVP_PKEY_set_utf8_string_param(key, OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT,
                                 OSSL_PKEY_EC_POINT_CONVERSION_FORMAT_UNCOMPRESSED);
  unsigned char* der = nullptr;
  int length = i2d_PUBKEY(key, &der);
  if (length <= 0) return false;
  spki.assign(reinterpret_cast<const char*>(der), size_t(length));
  OPENSSL_free(der);
  std::string point;
  return SpkiToP256Point(spki, point);
}

Pkey PublicKeyOf(const std::string& spki) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(spki.data());
  Pkey key(d2i_PUBKEY(nullptr, &p, long(spki.size())));
  if (!key || p != reinterpret_cast<const unsigned char*>(spki.data()) + spki.size() || !IsP256(key.get())) {
    ERR_clear_error();
    return nullptr;
  }
  return key;
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  long length = BIO_get_mem_data(bio, &data);
  return length > 0 ? std::string(data, size_t(length)) : std::string();
}

// Creates path (never over an existing file) with the given mode and writes text.
bool WriteNewFile(const std::string& path, const std::string& text, mode_t mode, std::string& error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  bool ok = done == text.size() && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    ::unlink(path.c_str());
    error = "cannot write " + path;
  }
  return ok;
}

// No passphrase is ever asked for: an encrypted key does not load.
int NoPassphrase(char*, int, int, void*) { return -1; }

}  // namespace

std::string BytesSha256(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return "";
  return std::string(reinterpret_cast<const char*>(digest), length);
}

bool FileSha256(const std::string& path, std::string& digest, std::string& error) {
  digest.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = "cannot read " + path;
    return false;
  }
  MdCtx ctx(EVP_MD_CTX_new());
  bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
  std::vector<unsigned char> chunk(1 << 16);
  size_t n;
  while (ok && (n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) ok = EVP_DigestUpdate(ctx.get(), chunk.data(), n) == 1;
  ok = ok && !std::ferror(f);
  std::fclose(f);
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!ok || EVP_DigestFinal_ex(ctx.get(), out, &length) != 1) {
    error = "cannot read " + path + LibraryError();
    return false;
  }
  digest.assign(reinterpret_cast<const char*>(out), length);
  return true;
}

bool CanSign() { return true; }

bool GenerateKeyPair(const std::string& base, std::string& error) {
  const std::string keyPath = base + ".key", pubPath = base + ".pub";
  struct stat st;
  for (const std::string& path : {keyPath, pubPath}) {
    if (::lstat(path.c_str(), &st) == 0) {
      error = path + " exists already; keygen never overwrites a key";
      return false;
    }
  }
  Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  std::string spki;
  if (!key || !SpkiOf(key.get(), spki)) {
    error = "cannot make a P-256 key" + LibraryError();
    return false;
  }
  // The private key passes through secure memory only.
  Bio priv(BIO_new(BIO_s_secmem())), pub(BIO_new(BIO_s_mem()));
  if (!priv || !pub || PEM_write_bio_PrivateKey(priv.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
      PEM_write_bio_PUBKEY(pub.get(), key.get()) != 1) {
    error = "cannot write the key in PEM" + LibraryError();
    return false;
  }
  std::string keyText = BioText(priv.get());
  bool ok = WriteNewFile(keyPath, keyText, 0600, error);
  OPENSSL_cleanse(keyText.data(), keyText.size());
  if (!ok) return false;
  if (!WriteNewFile(pubPath, BioText(pub.get()), 0644, error)) {
    ::unlink(keyPath.c_str());
    return false;
  }
  return true;
}

bool SignWithKeyFile(const std::string& keyPath, const std::string& data, std::string& rawSignature,
                     std::string& publicSpki, std::string& error) {
  rawSignature.clear();
  publicSpki.clear();
  Bio file(BIO_new_file(keyPath.c_str(), "rb"));
  if (!file) {
    error = "cannot read the key " + keyPath;
    ERR_clear_error();
    return false;
  }
  Pkey key(PEM_read_bio_PrivateKey(file.get(), nullptr, NoPassphrase, nullptr));
  if (!key) {
    error = keyPath + " holds no private key in PEM that can be read without a passphrase" + LibraryError();
    return false;
  }
  if (!IsP256(key.get()) || !SpkiOf(key.get(), publicSpki)) {
    error = keyPath + " is not an ECDSA P-256 key";
    return false;
  }
  MdCtx ctx(EVP_MD_CTX_new());
  size_t length = 0;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(data.data()), data.size()) !=
          1) {
    error = "cannot sign" + LibraryError();
    return false;
  }
  std::string der(length, '\0');
  if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(der.data()), &length,
                     reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1) {
    error = "cannot sign" + LibraryError();
    return false;
  }
  der.resize(length);
  if (!SignatureDerToRaw(der, rawSignature)) {
    error = "the library made a signature of an unexpected form";
    return false;
  }
  // A signature that does not verify must never be published.
  if (!VerifySignature(publicSpki, data, rawSignature)) {
    error = "the new signature does not verify";
    rawSignature.clear();
    return false;
  }
  return true;
}

bool VerifySignature(const std::string& spki, const std::string& data, const std::string& rawSignature) {
  std::string der;
  Pkey key = PublicKeyOf(spki);
  if (!key || !SignatureRawToDer(rawSignature, der)) return false;
  MdCtx ctx(EVP_MD_CTX_new());
  bool ok = ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
            EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(der.data()), der.size(),
                             reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
  ERR_clear_error();
  return ok;
}

bool CheckPublicKey(const std::string& spki, std::string& error) {
  std::string point;
  Pkey key = SpkiToP256Point(spki, point) ? PublicKeyOf(spki) : nullptr;
  PkeyCtx ctx(key ? EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr) : nullptr);
  if (!ctx || EVP_PKEY_public_check(ctx.get()) != 1) {
    ERR_clear_error();
    error = "the key is not a valid ECDSA P-256 public key";
    return false;
  }
  return true;
}
