#include <gtest/gtest.h>

#include "Crypto.h"
#include "agent/SignedInfo.h"
#include "support/TestFiles.h"

// The builder's SHA-256 (OpenSSL natively, CNG on Windows) on the standard vectors,
// and a file read in chunks gives the digest of its bytes.
TEST(Digest, Sha256OfBytesAndFiles) {
  EXPECT_EQ(HexOf(BytesSha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexOf(BytesSha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  TempDir dir;
  WriteBytes(dir.File("a.bin"), std::string(1000000, 'a'));
  std::string digest, error;
  ASSERT_TRUE(FileSha256(dir.File("a.bin"), digest, error)) << error;
  EXPECT_EQ(HexOf(digest), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_FALSE(FileSha256(dir.File("missing.bin"), digest, error));
  EXPECT_NE(error.find("missing.bin"), std::string::npos);
}
