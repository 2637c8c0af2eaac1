// The signed information file and the byte forms around its signature: strict
// base64, the DER and raw forms of an ECDSA P-256 signature, the SubjectPublicKeyInfo
// of a P-256 key, and digests as hex. Pure: no cryptography happens here, only the
// exact checks of the forms, so that the agent and the builder read them alike.
//
// A signed information file ends with its signature section:
//   ...every byte before this line is signed, exactly as stored...
//   [Signature]
//   Value=<base64 of the 64 bytes r||s>
// The line "[Signature]" starts the file or follows an LF; after the Value line only
// one optional line end (CR LF or LF) may follow. The signature is ECDSA P-256 over the
// SHA-256 of the signed bytes, r and s as 32-byte big-endian numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr size_t kRawSignatureSize = 64;   // r || s
inline constexpr size_t kP256PointSize = 64;      // X || Y
inline constexpr size_t kP256SpkiSize = 91;       // 26-byte prefix, 0x04, X, Y
inline constexpr size_t kSha256Size = 32;
// Information files are small; anything larger is refused before it is looked at.
inline constexpr size_t kMaxSignedInfoSize = 1024 * 1024;

enum class SignedInfoError {
  None,
  TooLarge,          // more than kMaxSignedInfoSize bytes
  NoSignature,       // no [Signature] section
  TwoSignatures,     // a second line that an INI reader takes for [Signature]
  SignatureLine,     // the section line is not exactly "[Signature]" at a line start
  NotLast,           // another section follows [Signature]
  NoValue,           // the line after [Signature] is not "Value=..."
  SecondKey,         // a further key in [Signature]
  TrailingData,      // anything but one line end after the Value line
  BadBase64,         // the Value is not strict base64
  WrongLength,       // the Value does not decode to 64 bytes
};

// One line for a log or a message ("" for None).
const char* SignedInfoErrorText(SignedInfoError error);

struct SignedInfoParts {
  std::string signedBytes;  // every byte before the line "[Signature]"
  std::string signature;    // 64 bytes r || s
};

// Splits a whole information file. On an error parts is left empty.
SignedInfoError SplitSignedInfo(const std::string& file, SignedInfoParts& parts);

// The signature section for 64 bytes r || s: "[Signature]\r\nValue=...\r\n".
std::string SignatureSection(const std::string& rawSignature);

// Standard base64 (RFC 4648 alphabet, "=" padding always written).
std::string Base64Encode(const std::string& bytes);
// Strict: length a multiple of 4, padding only at the end and required, no blanks
// or line breaks, the unused bits of the last character zero. False on anything else.
bool Base64Decode(const std::string& text, std::string& bytes);

// The DER ECDSA-Sig-Value (SEQUENCE of two INTEGERs, minimal DER, short lengths) to
// r || s and back. Each number must be 1 .. n-1 for the P-256 group order n.
bool SignatureDerToRaw(const std::string& der, std::string& raw);
bool SignatureRawToDer(const std::string& raw, std::string& der);

// The SubjectPublicKeyInfo DER of a P-256 key (id-ecPublicKey, prime256v1, an
// uncompressed point) to X || Y and back; any other form is refused. Whether the
// point lies on the curve is left to the cryptographic library.
bool SpkiToP256Point(const std::string& spki, std::string& point);
std::string P256PointToSpki(const std::string& point);

// Lower-case hex of bytes.
std::string HexOf(const std::string& bytes);
// A SHA-256 digest in hex (64 hex digits, either case) lower-cased; "" for anything else.
std::string NormalizeSha256Hex(const std::string& text);
