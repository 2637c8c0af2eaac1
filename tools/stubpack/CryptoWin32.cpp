// The Windows builder's cryptography, all of it from the system's CNG (bcrypt.dll from
// the system folder, bound at run time so that build and list still run where it is
// missing): the digest and the signature check through the stub's own binding
// (util/Cng.h), key pairs and signatures through the entry points bound here. CNG
// speaks its own key blobs; the files keep OpenSSL's forms (KeyFiles.h).
#include <windows.h>

#include <bcrypt.h>

#include <cstdio>

#include "Crypto.h"
#include "KeyFiles.h"
#include "agent/SignedInfo.h"
#include "util/Cng.h"
#include "util/PlatformHelpers.h"
#include "util/WinHandle.h"

namespace {

using OpenAlgorithm = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseAlgorithm = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using GenerateKey = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE*, ULONG, ULONG);
using FinalizeKey = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, ULONG);
using ExportKey = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);
using ImportKeyPair = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR, BCRYPT_KEY_HANDLE*, PUCHAR,
                                        ULONG, ULONG);
using DestroyKey = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE);
using SignHash = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, VOID*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG*, ULONG);

constexpr NTSTATUS kSuccess = 0;
constexpr size_t kScalarSize = 32;
constexpr size_t kMaxKeyFile = 64 * 1024;
// BCRYPT_ECCKEY_BLOB, then X, Y (and d for a private blob), 32 bytes each.
constexpr size_t kBlobHead = sizeof(BCRYPT_ECCKEY_BLOB);
constexpr size_t kPublicBlob = kBlobHead + kP256PointSize;
constexpr size_t kPrivateBlob = kPublicBlob + kScalarSize;

// The entry points, bound once; all of them or none.
struct Bcrypt {
  OpenAlgorithm open = nullptr;
  CloseAlgorithm close = nullptr;
  GenerateKey generate = nullptr;
  FinalizeKey finalize = nullptr;
  ExportKey exportKey = nullptr;
  ImportKeyPair importKey = nullptr;
  DestroyKey destroyKey = nullptr;
  SignHash sign = nullptr;
  bool ok = false;
};

template <typename F>
void Bind(HMODULE module, const char* name, F& target, bool& all) {
  target = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  all = all && target != nullptr;
}

const Bcrypt& Api() {
  static Bcrypt api;
  static bool bound = false;
  if (bound) return api;
  bound = true;
  HMODULE module = LoadSystemLibrary("bcrypt.dll");
  if (!module) return api;
  bool all = true;
  Bind(module, "BCryptOpenAlgorithmProvider", api.open, all);
  Bind(module, "BCryptCloseAlgorithmProvider", api.close, all);
  Bind(module, "BCryptGenerateKeyPair", api.generate, all);
  Bind(module, "BCryptFinalizeKeyPair", api.finalize, all);
  Bind(module, "BCryptExportKey", api.exportKey, all);
  Bind(module, "BCryptImportKeyPair", api.importKey, all);
  Bind(module, "BCryptDestroyKey", api.destroyKey, all);
  Bind(module, "BCryptSignHash", api.sign, all);
  api.ok = all;
  return api;
}

// The ECDSA P-256 provider, open for the object's life.
class P256 {
 public:
  P256() {
    const Bcrypt& b = Api();
    if (b.ok && b.open(&handle_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != kSuccess) handle_ = nullptr;
  }
  ~P256() {
    if (handle_) Api().close(handle_, 0);
  }
  P256(const P256&) = delete;
  P256& operator=(const P256&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class Key {
 public:
  Key() = default;
  ~Key() {
    if (handle_) Api().destroyKey(handle_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  BCRYPT_KEY_HANDLE* out() { return &handle_; }
  BCRYPT_KEY_HANDLE get() const { return handle_; }

 private:
  BCRYPT_KEY_HANDLE handle_ = nullptr;
};

std::string Status(NTSTATUS status) {
  char text[32];
  std::snprintf(text, sizeof text, " (status 0x%08lx)", static_cast<unsigned long>(status));
  return text;
}

// A key blob of CNG: the header, then the parts in order.
std::string Blob(ULONG magic, const std::string& point, const std::string& scalar = "") {
  BCRYPT_ECCKEY_BLOB head{magic, ULONG(kScalarSize)};
  std::string blob;
  blob.reserve(kPrivateBlob);
  blob.append(reinterpret_cast<const char*>(&head), sizeof head).append(point).append(scalar);
  return blob;
}

// A security descriptor whose DACL grants the current user alone, not the rights the
// folder would pass on. A file system without ACLs (FAT) ignores it.
class OwnerOnly {
 public:
  bool Make(std::string& error) {
    HANDLE raw = nullptr;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return Fail(error);
    WinHandle token(raw);
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0 || size > 1024) return Fail(error);
    user_.assign(size, '\0');
    if (!GetTokenInformation(token.get(), TokenUser, &user_[0], size, &size)) return Fail(error);
    PSID sid = reinterpret_cast<TOKEN_USER*>(&user_[0])->User.Sid;
    acl_.assign(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid), '\0');
    PACL acl = reinterpret_cast<PACL>(&acl_[0]);
    const DWORD rights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE | WRITE_DAC;
    if (!InitializeAcl(acl, DWORD(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, rights, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      return Fail(error);
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    return true;
  }
  SECURITY_ATTRIBUTES* get() { return &attributes_; }

 private:
  static bool Fail(std::string& error) {
    error = "cannot make the key file's access list: " + LastErrorText();
    return false;
  }
  std::string user_, acl_;  // memory of the user's SID and of the ACL
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

// Creates path (never over an existing file) and writes text; removed again on a failure.
bool WriteNewFile(const std::string& path, const std::string& text, SECURITY_ATTRIBUTES* security,
                  std::string& error) {
  WinHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) {
    error = "cannot create " + path + ": " + LastErrorText();
    return false;
  }
  DWORD written = 0;
  bool ok = WriteFile(file.get(), text.data(), DWORD(text.size()), &written, nullptr) && written == text.size() &&
            FlushFileBuffers(file.get());
  file.reset();
  if (!ok) {
    DeleteFileA(path.c_str());
    error = "cannot write " + path;
  }
  return ok;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ReadKeyFile(const std::string& path, std::string& text) {
  text.clear();
  WinHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file.ok() || !GetFileSizeEx(file.get(), &size) || size.QuadPart > LONGLONG(kMaxKeyFile)) return false;
  text.assign(size_t(size.QuadPart), '\0');
  DWORD got = 0;
  if (!text.empty() && (!ReadFile(file.get(), &text[0], DWORD(text.size()), &got, nullptr) || got != text.size())) {
    WipeKeyBytes(text);
    return false;
  }
  return true;
}

const char kNoCng[] = "ECDSA P-256 is not available from this system's CNG";

}  // namespace

std::string BytesSha256(const std::string& bytes) {
  Sha256Digest digest;
  return Sha256OfText(bytes, digest) ? std::string(digest.begin(), digest.end()) : "";
}

bool FileSha256(const std::string& path, std::string& digest, std::string& error) {
  Sha256Digest d;
  digest.clear();
  if (!Sha256OfFile(path, d, error)) {
    if (error.find(path) == std::string::npos) error = "cannot read " + path + ": " + error;
    return false;
  }
  digest.assign(d.begin(), d.end());
  return true;
}

bool CanSign() {
  P256 algorithm;
  return algorithm.get() != nullptr;
}

bool GenerateKeyPair(const std::string& base, std::string& error) {
  const std::string keyPath = base + ".key", pubPath = base + ".pub";
  for (const std::string& path : {keyPath, pubPath}) {
    if (Exists(path)) {
      error = path + " exists already; keygen never overwrites a key";
      return false;
    }
  }
  const Bcrypt& b = Api();
  P256 algorithm;
  Key key;
  if (!algorithm.get()) {
    error = kNoCng;
    return false;
  }
  std::string blob(kPrivateBlob, '\0');
  ULONG got = 0;
  NTSTATUS status = b.generate(algorithm.get(), key.out(), 256, 0);
  if (status == kSuccess) status = b.finalize(key.get(), 0);
  if (status == kSuccess)
    status = b.exportKey(key.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, reinterpret_cast<PUCHAR>(&blob[0]),
                         ULONG(blob.size()), &got, 0);
  const auto* head = reinterpret_cast<const BCRYPT_ECCKEY_BLOB*>(blob.data());
  if (status != kSuccess || got != kPrivateBlob || head->dwMagic != BCRYPT_ECDSA_PRIVATE_P256_MAGIC ||
      head->cbKey != kScalarSize) {
    WipeKeyBytes(blob);
    error = "cannot make a P-256 key" + Status(status);
    return false;
  }
  P256PrivateKey pair{blob.substr(kPublicBlob), blob.substr(kBlobHead, kP256PointSize)};
  WipeKeyBytes(blob);
  std::string keyText = P256PrivateKeyPem(pair), pubText = PublicKeyPem(P256PointToSpki(pair.point));
  WipeKeyBytes(pair.scalar);
  OwnerOnly security;
  bool ok = security.Make(error) && WriteNewFile(keyPath, keyText, security.get(), error);
  WipeKeyBytes(keyText);
  if (!ok) return false;
  if (!WriteNewFile(pubPath, pubText, nullptr, error)) {
    DeleteFileA(keyPath.c_str());
    return false;
  }
  return true;
}

bool SignWithKeyFile(const std::string& keyPath, const std::string& data, std::string& rawSignature,
                     std::string& publicSpki, std::string& error) {
  rawSignature.clear();
  publicSpki.clear();
  std::string text;
  if (!ReadKeyFile(keyPath, text)) {
    error = "cannot read the key " + keyPath + " (at most 64 KB)";
    return false;
  }
  P256PrivateKey pair;
  bool ok = ReadP256PrivateKeyPem(text, pair, error);
  WipeKeyBytes(text);
  if (!ok) {
    error = keyPath + ": " + error;
    return false;
  }
  if (pair.point.empty()) {
    WipeKeyBytes(pair.scalar);
    error = keyPath + " holds the private number without its public key, which CNG cannot sign with; "
                      "write it again with its public key (openssl ec -in OLD -out NEW)";
    return false;
  }
  const Bcrypt& b = Api();
  P256 algorithm;
  Key key;
  Sha256Digest digest{};
  std::string blob = Blob(BCRYPT_ECDSA_PRIVATE_P256_MAGIC, pair.point, pair.scalar);
  WipeKeyBytes(pair.scalar);
  NTSTATUS status = 0;
  if (!algorithm.get() || !Sha256OfText(data, digest)) {
    error = kNoCng;
    ok = false;
  } else if ((status = b.importKey(algorithm.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, key.out(),
                                   reinterpret_cast<PUCHAR>(&blob[0]), ULONG(blob.size()), 0)) != kSuccess) {
    error = "CNG does not take the key in " + keyPath + Status(status);
    ok = false;
  }
  WipeKeyBytes(blob);
  if (!ok) return false;
  std::string raw(kRawSignatureSize, '\0');
  ULONG got = 0;
  status = b.sign(key.get(), nullptr, digest.data(), ULONG(digest.size()), reinterpret_cast<PUCHAR>(&raw[0]),
                  ULONG(raw.size()), &got, 0);
  if (status != kSuccess || got != kRawSignatureSize) {
    error = "cannot sign" + Status(status);
    return false;
  }
  publicSpki = P256PointToSpki(pair.point);
  // A signature that does not verify must never be published; it also catches a key
  // file whose public key is not its private number's.
  if (!VerifySignature(publicSpki, data, raw)) {
    error = "the new signature does not verify with the public key in " + keyPath;
    publicSpki.clear();
    return false;
  }
  rawSignature = raw;
  return true;
}

bool VerifySignature(const std::string& spki, const std::string& data, const std::string& rawSignature) {
  std::string point;
  Sha256Digest digest{};
  if (!SpkiToP256Point(spki, point) || rawSignature.size() != kRawSignatureSize || !Sha256OfText(data, digest))
    return false;
  P256PublicKey key{};
  P256Signature signature{};
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(point[i]);
  for (size_t i = 0; i < signature.size(); ++i) signature[i] = uint8_t(rawSignature[i]);
  return VerifyP256Signature(key, digest, signature) == SignatureCheck::Valid;
}

// CNG refuses to import a point that is not on the curve (Windows; Wine 8 takes any
// point, and no signature then verifies with it). Without CNG only the form is checked.
bool CheckPublicKey(const std::string& spki, std::string& error) {
  std::string point;
  if (!SpkiToP256Point(spki, point)) {
    error = "the key is not a valid ECDSA P-256 public key";
    return false;
  }
  P256 algorithm;
  if (!algorithm.get()) return true;
  Key key;
  std::string blob = Blob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, point);
  if (Api().importKey(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.out(), reinterpret_cast<PUCHAR>(&blob[0]),
                      ULONG(blob.size()), 0) != kSuccess) {
    error = "the key is not a valid ECDSA P-256 public key";
    return false;
  }
  return true;
}
