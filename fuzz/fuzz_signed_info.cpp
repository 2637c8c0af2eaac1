// The signed information file's splitter and the byte forms around it over arbitrary
// bytes: the file comes from the vendor's server, or from whoever stands in for it.
// Each form is strict, so what reads also writes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "agent/SignedInfo.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  SignedInfoParts parts;
  if (SplitSignedInfo(input, parts) == SignedInfoError::None) {
    Check(parts.signature.size() == kRawSignatureSize);
    Check(input.compare(0, parts.signedBytes.size(), parts.signedBytes) == 0);
    // The same parts written out again split the same way.
    SignedInfoParts again;
    Check(SplitSignedInfo(parts.signedBytes + SignatureSection(parts.signature), again) == SignedInfoError::None);
    Check(again.signedBytes == parts.signedBytes && again.signature == parts.signature);
  } else {
    Check(parts.signedBytes.empty() && parts.signature.empty());
  }

  std::string bytes;
  if (Base64Decode(input, bytes)) Check(Base64Encode(bytes) == input);
  Check(Base64Decode(Base64Encode(input), bytes) && bytes == input);

  std::string raw, der;
  if (SignatureDerToRaw(input, raw)) Check(SignatureRawToDer(raw, der) && der == input);
  if (size >= kRawSignatureSize && SignatureRawToDer(input.substr(0, kRawSignatureSize), der))
    Check(SignatureDerToRaw(der, raw) && raw == input.substr(0, kRawSignatureSize));

  std::string point;
  if (SpkiToP256Point(input, point)) Check(P256PointToSpki(point) == input);
  (void)NormalizeSha256Hex(input);
  return 0;
}
