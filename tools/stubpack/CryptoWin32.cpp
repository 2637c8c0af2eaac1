// The Windows builder's cryptography: the digest from the system's CNG, through the
// stub's own binding (util/Cng.h). Keys and signatures are made by the native builder
// only, for now.
#include "Crypto.h"

#include "util/Cng.h"

namespace {

const char kNotHere[] = "not available in this build (use the native stubpack)";

std::string Text(const Sha256Digest& digest) { return std::string(digest.begin(), digest.end()); }

}  // namespace

std::string BytesSha256(const std::string& bytes) {
  Sha256Digest digest;
  return Sha256OfText(bytes, digest) ? Text(digest) : "";
}

bool FileSha256(const std::string& path, std::string& digest, std::string& error) {
  Sha256Digest d;
  digest.clear();
  if (!Sha256OfFile(path, d, error)) {
    if (error.find(path) == std::string::npos) error = "cannot read " + path + ": " + error;
    return false;
  }
  digest = Text(d);
  return true;
}

bool CanSign() { return false; }

bool GenerateKeyPair(const std::string&, std::string& error) {
  error = std::string("keygen is ") + kNotHere;
  return false;
}

bool SignWithKeyFile(const std::string&, const std::string&, std::string& rawSignature, std::string& publicSpki,
                     std::string& error) {
  rawSignature.clear();
  publicSpki.clear();
  error = std::string("signing is ") + kNotHere;
  return false;
}

bool VerifySignature(const std::string&, const std::string&, const std::string&) { return false; }

// Only the form is checked here (SpkiToP256Point); the native builder also asks
// the library whether the point lies on the curve.
bool CheckPublicKey(const std::string&, std::string&) { return true; }
