#include <windows.h>

#include <bcrypt.h>

#include "util/Cng.h"
#include "util/PlatformHelpers.h"
#include "util/WinHandle.h"

namespace {

using OpenAlgorithm = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseAlgorithm = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using GetProperty = NTSTATUS(WINAPI*)(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);
using CreateHash = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using HashData = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);
using ImportKeyPair = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR, BCRYPT_KEY_HANDLE*, PUCHAR,
                                        ULONG, ULONG);
using DestroyKey = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE);
using VerifySignature = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, VOID*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);

constexpr NTSTATUS kSuccess = 0;
constexpr size_t kFileChunk = 256 * 1024;

// The entry points, bound once; all of them or none.
struct Bcrypt {
  OpenAlgorithm open = nullptr;
  CloseAlgorithm close = nullptr;
  GetProperty property = nullptr;
  CreateHash createHash = nullptr;
  HashData hashData = nullptr;
  FinishHash finishHash = nullptr;
  DestroyHash destroyHash = nullptr;
  ImportKeyPair importKey = nullptr;
  DestroyKey destroyKey = nullptr;
  VerifySignature verify = nullptr;
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
  Bind(module, "BCryptGetProperty", api.property, all);
  Bind(module, "BCryptCreateHash", api.createHash, all);
  Bind(module, "BCryptHashData", api.hashData, all);
  Bind(module, "BCryptFinishHash", api.finishHash, all);
  Bind(module, "BCryptDestroyHash", api.destroyHash, all);
  Bind(module, "BCryptImportKeyPair", api.importKey, all);
  Bind(module, "BCryptDestroyKey", api.destroyKey, all);
  Bind(module, "BCryptVerifySignature", api.verify, all);
  api.ok = all;
  return api;
}

class Algorithm {
 public:
  explicit Algorithm(LPCWSTR name) {
    const Bcrypt& b = Api();
    if (b.ok && b.open(&handle_, name, nullptr, 0) != kSuccess) handle_ = nullptr;
  }
  ~Algorithm() {
    if (handle_) Api().close(handle_, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }
  BCRYPT_ALG_HANDLE release() {
    BCRYPT_ALG_HANDLE h = handle_;
    handle_ = nullptr;
    return h;
  }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

}  // namespace

Sha256Hasher::Sha256Hasher() {
  const Bcrypt& b = Api();
  Algorithm algorithm(BCRYPT_SHA256_ALGORITHM);
  if (!algorithm.get()) return;
  // Windows Vista needs the hash object's memory from the caller.
  DWORD size = 0;
  ULONG got = 0;
  if (b.property(algorithm.get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size), sizeof size, &got, 0) !=
          kSuccess ||
      size == 0 || size > 4096)
    return;
  object_.assign(size, '\0');
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (b.createHash(algorithm.get(), &hash, reinterpret_cast<PUCHAR>(&object_[0]), size, nullptr, 0, 0) != kSuccess)
    return;
  hash_ = hash;
  algorithm_ = algorithm.release();
}

Sha256Hasher::~Sha256Hasher() {
  const Bcrypt& b = Api();
  if (hash_) b.destroyHash(hash_);
  if (algorithm_) b.close(algorithm_, 0);
}

void Sha256Hasher::Update(const void* data, size_t size) {
  if (!ok()) return;
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ULONG part = size > 0x40000000u ? 0x40000000u : ULONG(size);
    if (Api().hashData(hash_, const_cast<PUCHAR>(p), part, 0) != kSuccess) {
      failed_ = true;
      return;
    }
    p += part;
    size -= part;
  }
}

bool Sha256Hasher::Finish(Sha256Digest& digest) {
  if (!ok()) return false;
  failed_ = true;  // a hash can be finished once
  return Api().finishHash(hash_, digest.data(), ULONG(digest.size()), 0) == kSuccess;
}

bool Sha256OfText(const std::string& text, Sha256Digest& digest) {
  Sha256Hasher hasher;
  hasher.Update(text.data(), text.size());
  return hasher.Finish(digest);
}

bool Sha256OfFile(const std::string& path, Sha256Digest& digest, std::string& error) {
  Sha256Hasher hasher;
  if (!hasher.ok()) {
    error = "SHA-256 is not available on this system";
    return false;
  }
  WinHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.ok()) {
    error = path + " --- " + LastErrorText();
    return false;
  }
  std::string buffer(kFileChunk, '\0');
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), &buffer[0], DWORD(buffer.size()), &got, nullptr)) {
      error = path + " --- " + LastErrorText();
      return false;
    }
    if (got == 0) break;
    hasher.Update(buffer.data(), got);
  }
  if (!hasher.Finish(digest)) {
    error = "SHA-256 failed";
    return false;
  }
  return true;
}

SignatureCheck VerifyP256Signature(const P256PublicKey& key, const Sha256Digest& digest,
                                   const P256Signature& signature) {
  const Bcrypt& b = Api();
  Algorithm algorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!algorithm.get()) return SignatureCheck::Unavailable;
  struct {
    BCRYPT_ECCKEY_BLOB header;
    uint8_t point[64];
  } blob{};
  blob.header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  blob.header.cbKey = 32;
  for (size_t i = 0; i < key.size(); ++i) blob.point[i] = key[i];
  BCRYPT_KEY_HANDLE handle = nullptr;
  if (b.importKey(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle, reinterpret_cast<PUCHAR>(&blob),
                  sizeof blob, 0) != kSuccess)
    return SignatureCheck::Invalid;  // not a point of the curve: no signature of it is good
  Sha256Digest d = digest;
  P256Signature s = signature;
  NTSTATUS status = b.verify(handle, nullptr, d.data(), ULONG(d.size()), s.data(), ULONG(s.size()), 0);
  b.destroyKey(handle);
  return status == kSuccess ? SignatureCheck::Valid : SignatureCheck::Invalid;
}
