// SHA-256 and ECDSA P-256 signature checks through Windows' own cryptography (CNG,
// bcrypt.dll from the system folder, bound at run time so that the program still
// starts where it is missing).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<uint8_t, 32>;
// The public point X || Y of a P-256 key and a raw r || s signature.
using P256PublicKey = std::array<uint8_t, 64>;
using P256Signature = std::array<uint8_t, 64>;

enum class SignatureCheck { Valid, Invalid, Unavailable };

#ifdef _WIN32
// A running SHA-256. ok() is false when CNG is missing; Finish then fails too.
class Sha256Hasher {
 public:
  Sha256Hasher();
  ~Sha256Hasher();
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;
  bool ok() const { return hash_ != nullptr && !failed_; }
  void Update(const void* data, size_t size);
  bool Finish(Sha256Digest& digest);

 private:
  void* algorithm_ = nullptr;
  void* hash_ = nullptr;
  std::string object_;  // the hash object's memory, owned here
  bool failed_ = false;
};

// The digest of a file, read in bounded chunks. False with an error text when the file
// cannot be read or CNG is missing.
bool Sha256OfFile(const std::string& path, Sha256Digest& digest, std::string& error);
bool Sha256OfText(const std::string& text, Sha256Digest& digest);

// Unavailable when CNG or its P-256 algorithm is missing (Windows XP): callers that
// need a signature then fail closed.
SignatureCheck VerifyP256Signature(const P256PublicKey& key, const Sha256Digest& digest,
                                   const P256Signature& signature);
#endif
