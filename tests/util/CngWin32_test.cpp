// SHA-256 and P-256 signature checks through the system's CNG, against vectors made
// by OpenSSL.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TestFiles.h"
#include "util/Cng.h"

namespace {

const P256PublicKey kKey = {
    0x11, 0x43, 0xe8, 0x24, 0xa6, 0x6d, 0x0f, 0xf6, 0x5b, 0x81, 0x87, 0xa0, 0x73, 0xd1, 0x80, 0x4c,
    0xc4, 0x93, 0x7d, 0x14, 0xe4, 0xb2, 0x3d, 0x7d, 0xa9, 0x14, 0xd5, 0xac, 0x3a, 0x14, 0xe4, 0xdb,
    0xd5, 0x6e, 0xd0, 0x0e, 0xb1, 0xfa, 0x34, 0x3c, 0xb1, 0xe9, 0xf0, 0xdc, 0x77, 0xa1, 0xa8, 0x02,
    0x0a, 0x88, 0x91, 0x84, 0x52, 0x6b, 0xb7, 0x1b, 0x04, 0x90, 0xda, 0x84, 0xed, 0x23, 0x64, 0x6d};
// openssl dgst -sha256 -sign over "signed text\r\n", DER turned into r || s.
const P256Signature kSignature = {
    0x77, 0xd3, 0xca, 0xe1, 0x81, 0x74, 0xb8, 0x3c, 0xc3, 0x43, 0xd5, 0xd8, 0xf1, 0xae, 0x29, 0x0d,
    0xdb, 0x87, 0x2d, 0x19, 0xe0, 0x9b, 0xae, 0x79, 0xc2, 0x12, 0x1b, 0xa4, 0xa1, 0x5c, 0xd8, 0x47,
    0xde, 0x13, 0x4f, 0x1c, 0x7d, 0xc7, 0xea, 0x0b, 0x14, 0x55, 0x13, 0x7e, 0xa6, 0xe2, 0x93, 0xcb,
    0xc5, 0x4a, 0xed, 0xb0, 0x22, 0xd8, 0x64, 0x34, 0xaf, 0x01, 0xa8, 0x0f, 0xe7, 0x57, 0x72, 0x93};
const char kSignedText[] = "signed text\r\n";

std::string Hex(const Sha256Digest& d) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (uint8_t b : d) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

TEST(Cng, Sha256OfTextAndOfAFileInChunks) {
  Sha256Digest d{};
  ASSERT_TRUE(Sha256OfText("abc", d));
  EXPECT_EQ(Hex(d), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  ASSERT_TRUE(Sha256OfText("", d));
  EXPECT_EQ(Hex(d), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

  // A file longer than one read chunk gives the digest of all of it.
  TempDir dir;
  std::string big(600 * 1024, 'a');
  WriteBytes(dir.File("big.bin"), big);
  Sha256Digest whole{}, fromFile{};
  ASSERT_TRUE(Sha256OfText(big, whole));
  std::string error;
  ASSERT_TRUE(Sha256OfFile(dir.File("big.bin"), fromFile, error)) << error;
  EXPECT_EQ(fromFile, whole);
  EXPECT_FALSE(Sha256OfFile(dir.File("missing.bin"), fromFile, error));
  EXPECT_NE(error.find("missing.bin"), std::string::npos);
}

TEST(Cng, P256SignatureHoldsOnlyForTheSignedBytesAndKey) {
  Sha256Digest d{};
  ASSERT_TRUE(Sha256OfText(kSignedText, d));
  EXPECT_EQ(VerifyP256Signature(kKey, d, kSignature), SignatureCheck::Valid);

  Sha256Digest other{};
  ASSERT_TRUE(Sha256OfText("signed text\n", other));  // another line end is another text
  EXPECT_EQ(VerifyP256Signature(kKey, other, kSignature), SignatureCheck::Invalid);
  for (size_t at : {size_t(0), size_t(31), size_t(32), size_t(63)}) {
    P256Signature s = kSignature;
    s[at] ^= 1;
    EXPECT_EQ(VerifyP256Signature(kKey, d, s), SignatureCheck::Invalid) << at;
  }
  P256PublicKey k = kKey;
  k[40] ^= 1;  // no longer a point of the curve, or another key
  EXPECT_EQ(VerifyP256Signature(k, d, kSignature), SignatureCheck::Invalid);
  P256Signature zero{};
  EXPECT_EQ(VerifyP256Signature(kKey, d, zero), SignatureCheck::Invalid);
}

}  // namespace
