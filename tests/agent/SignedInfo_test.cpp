#include "agent/SignedInfo.h"

#include <gtest/gtest.h>

#include "agent/AgentSettings.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// 64 bytes and their base64.
const std::string kSig = std::string(31, '\x11') + '\x80' + std::string(32, '\x7f');
const std::string kSigB64 = Base64Encode(kSig);
const std::string kBody = "[NewSetup]\r\nVersionNew=2\r\n\r\n";

// A real P-256 key's SubjectPublicKeyInfo.
const std::string kSpki = FromHex(
    "3059301306072a8648ce3d020106082a8648ce3d03010703420004764d27f8625b6f29e1d3c251823323a06c440b85c3a7106db4fb"
    "90bafdcf0e49513f114b3a85423295c9d66aa83a87c050babe604509ad8eb1c297381ec9be97");

}  // namespace

TEST(SignedInfo, SplitsAtTheSignatureLineWhateverTheLineEnds) {
  struct {
    std::string file, signedBytes;
  } cases[] = {
      {kBody + SignatureSection(kSig), kBody},
      {kBody + "[Signature]\nValue=" + kSigB64 + "\n", kBody},
      {kBody + "[Signature]\r\nValue=" + kSigB64, kBody},  // no line end at all
      {"a=1\n[Signature]\nValue=" + kSigB64 + "\r\n", "a=1\n"},
      {"[Signature]\r\nValue=" + kSigB64 + "\r\n", ""},  // nothing signed but the empty text
      // Other line ends and 8-bit bytes are signed as they are.
      {"[NewSetup]\rProgramName=Caf\xE9\n\n[Signature]\nValue=" + kSigB64, "[NewSetup]\rProgramName=Caf\xE9\n\n"},
      // A "[Signature]" that does not start a line is text of the signed part.
      {"Note=see [Signature]\r\n[Signature]\r\nValue=" + kSigB64 + "\r\n", "Note=see [Signature]\r\n"},
  };
  for (const auto& c : cases) {
    SignedInfoParts parts;
    ASSERT_EQ(SplitSignedInfo(c.file, parts), SignedInfoError::None) << c.file;
    EXPECT_EQ(parts.signedBytes, c.signedBytes) << c.file;
    EXPECT_EQ(parts.signature, kSig) << c.file;
  }
}

TEST(SignedInfo, EveryMalformedFileGetsItsOwnError) {
  const std::string value = "Value=" + kSigB64;
  struct {
    std::string file;
    SignedInfoError error;
  } cases[] = {
      {kBody, SignedInfoError::NoSignature},
      {"", SignedInfoError::NoSignature},
      {kBody + "x[Signature]\r\n" + value, SignedInfoError::NoSignature},
      {"[Signature]\r\n" + value + "\r\n" + kBody + "[Signature]\r\n" + value, SignedInfoError::TwoSignatures},
      // Spellings an INI reader takes for the same section count as a second one.
      {"[signature]\r\nX=1\r\n[Signature]\r\n" + value, SignedInfoError::TwoSignatures},
      {kBody + "[Signature]\r\n" + value + "\r\n[ SIGNATURE ]\r\n", SignedInfoError::TwoSignatures},
      {kBody + "[signature]\r\n" + value, SignedInfoError::SignatureLine},
      {kBody + " [Signature]\r\n" + value, SignedInfoError::SignatureLine},
      {kBody + "[Signature] \r\n" + value, SignedInfoError::SignatureLine},
      {kBody + "[Signature];x\r\n" + value, SignedInfoError::SignatureLine},
      {kBody + "[Signature]\r\n" + value + "\r\n[General]\r\nAutoInform=1\r\n", SignedInfoError::NotLast},
      {kBody + "[Signature]\r\n[General]\r\n" + value, SignedInfoError::NotLast},
      {kBody + "[Signature]", SignedInfoError::NoValue},
      {kBody + "[Signature]\r\n", SignedInfoError::NoValue},
      {kBody + "[Signature]\r\n\r\n" + value, SignedInfoError::NoValue},
      {kBody + "[Signature]\r\nvalue=" + kSigB64, SignedInfoError::NoValue},
      {kBody + "[Signature]\r\n Value=" + kSigB64, SignedInfoError::NoValue},
      {kBody + "[Signature]\r\nKey=" + kSigB64, SignedInfoError::NoValue},
      {kBody + "[Signature]\r\n" + value + "\r\nKey=x\r\n", SignedInfoError::SecondKey},
      {kBody + "[Signature]\r\n" + value + "\nValue=" + kSigB64, SignedInfoError::SecondKey},
      {kBody + "[Signature]\r\n" + value + "\r\n\r\n", SignedInfoError::TrailingData},
      {kBody + "[Signature]\r\n" + value + "\n\n", SignedInfoError::TrailingData},
      {kBody + "[Signature]\r\n" + value + "\r\n;comment", SignedInfoError::TrailingData},
      {kBody + "[Signature]\r\n" + value + "\r\n ", SignedInfoError::TrailingData},
      {kBody + "[Signature]\r\n" + value + "\r", SignedInfoError::BadBase64},  // a CR is no line end
      {kBody + "[Signature]\r\n" + value + " \r\n", SignedInfoError::BadBase64},
      {kBody + "[Signature]\r\nValue=" + kSigB64.substr(0, 40) + "\r\n" + kSigB64.substr(40),
       SignedInfoError::SecondKey},
      {kBody + "[Signature]\r\nValue=" + kSigB64.substr(1), SignedInfoError::BadBase64},
      {kBody + "[Signature]\r\nValue=" + Base64Encode(kSig + "x"), SignedInfoError::WrongLength},
      {kBody + "[Signature]\r\nValue=" + Base64Encode(kSig.substr(1)), SignedInfoError::WrongLength},
      {kBody + "[Signature]\r\nValue=", SignedInfoError::WrongLength},
      {std::string(kMaxSignedInfoSize, ';') + "\n[Signature]\n" + value, SignedInfoError::TooLarge},
  };
  for (const auto& c : cases) {
    SignedInfoParts parts;
    parts.signedBytes = "stale";
    EXPECT_EQ(SplitSignedInfo(c.file, parts), c.error) << c.file.substr(0, 200);
    EXPECT_TRUE(parts.signedBytes.empty() && parts.signature.empty());
    EXPECT_STRNE(SignedInfoErrorText(c.error), "");
  }
}

TEST(SignedInfo, Base64IsStrict) {
  // RFC 4648's vectors, both ways.
  const char* vectors[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (const auto& v : vectors) {
    EXPECT_EQ(Base64Encode(v[0]), v[1]);
    std::string decoded;
    EXPECT_TRUE(Base64Decode(v[1], decoded)) << v[1];
    EXPECT_EQ(decoded, v[0]);
  }
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  std::string back;
  ASSERT_TRUE(Base64Decode(Base64Encode(all), back));
  EXPECT_EQ(back, all);
  EXPECT_EQ(Base64Encode("\xFB\xFF"), "+/8=");

  const char* refused[] = {
      "Zg",         // padding left out
      "Zg=",        // too short
      "Zm9",        // not a multiple of 4
      "Zh==",       // unused bits set: another text for "f"
      "Zm9=",       // likewise for "fo"
      "Z===",       // three pad characters
      "Zg==Zg==",   // padding inside
      "Zm=v",       // a pad character before data
      "Zm9v\n",     // a line break
      "Zm 9v",      // a blank
      "Zm9v-_==",   // the URL alphabet
      "Zm9v\x80\x80==",
  };
  for (const char* text : refused) {
    std::string out = "stale";
    EXPECT_FALSE(Base64Decode(text, out)) << text;
    EXPECT_TRUE(out.empty());
  }
}

TEST(SignedInfo, DerSignaturesConvertStrictly) {
  // r with its high bit set (a 0x00 pad in DER), s short: leading zeros left out.
  const std::string r = "\x80" + std::string(31, '\x01'), s = std::string(30, '\0') + "\x01\x02";
  const std::string der = "\x30\x27\x02\x21" + std::string(1, '\0') + r + "\x02\x02\x01\x02";
  std::string raw, back;
  ASSERT_TRUE(SignatureDerToRaw(der, raw));
  EXPECT_EQ(raw, r + s);
  ASSERT_TRUE(SignatureRawToDer(raw, back));
  EXPECT_EQ(back, der);

  // n - 1 is the largest number allowed, n the first refused.
  const std::string n = FromHex("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551");
  const std::string nMinus1 = FromHex("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632550");
  EXPECT_TRUE(SignatureRawToDer(nMinus1 + nMinus1, back));
  EXPECT_TRUE(SignatureDerToRaw(back, raw));
  EXPECT_EQ(raw, nMinus1 + nMinus1);
  EXPECT_FALSE(SignatureRawToDer(n + s, back));
  EXPECT_FALSE(SignatureRawToDer(std::string(32, '\0') + s, back));
  EXPECT_FALSE(SignatureRawToDer(r + s + "x", back));

  auto integer = [](const std::string& content) { return "\x02" + std::string(1, char(content.size())) + content; };
  auto sequence = [](const std::string& body) { return "\x30" + std::string(1, char(body.size())) + body; };
  const std::string one = integer("\x01"), zero(1, '\0');
  const std::string refused[] = {
      sequence(one),                                         // one INTEGER
      sequence(one + one + one),                             // three
      sequence(one + one) + zero,                            // a byte after it
      sequence(one + one).substr(0, 7),                      // cut short
      "\x31\x06" + one + one,                                // a SET
      "\x30\x81\x06" + one + one,                            // long-form length
      "\x30\x07" + one + one,                                // length beyond the end
      sequence(integer(zero + "\x01") + one),                 // a needless zero
      sequence(integer("\x81") + one),                       // negative
      sequence(integer(zero) + one),                         // zero
      sequence(integer("") + one),                           // empty
      sequence(one + "\x03\x01\x01"),                        // not an INTEGER
      sequence(integer(zero + n) + one),                     // n itself
      sequence(integer(std::string(33, '\x01')) + one),      // 33 bytes of value
      sequence(integer(zero + std::string(33, '\x80')) + one),
  };
  for (const std::string& bad : refused) EXPECT_FALSE(SignatureDerToRaw(bad, raw)) << testing::PrintToString(bad);
}

TEST(SignedInfo, OnlyTheUncompressedP256KeyForm) {
  std::string point;
  ASSERT_TRUE(SpkiToP256Point(kSpki, point));
  EXPECT_EQ(point.size(), kP256PointSize);
  EXPECT_EQ(P256PointToSpki(point), kSpki);
  EXPECT_EQ(P256PointToSpki(point + "x"), "");

  std::string compressed = FromHex("3039301306072a8648ce3d020106082a8648ce3d03010703220003") + point.substr(0, 32);
  std::string p384prefix = FromHex("3076301006072a8648ce3d020106052b81040022036200");
  std::string otherOid = kSpki, hybrid = kSpki, noBitPad = kSpki;
  otherOid[22] = 0x08;  // another named curve
  hybrid[26] = 0x06;
  noBitPad[25] = 0x01;
  for (const std::string& bad : {compressed, p384prefix + "\x04" + std::string(96, '\x01'), otherOid, hybrid, noBitPad,
                                 kSpki.substr(0, 90), kSpki + '\0', std::string()})
    EXPECT_FALSE(SpkiToP256Point(bad, point)) << HexOf(bad);
}

TEST(SignedInfo, DigestsAreLowerCaseHexAndReadThroughTheAgentSettings) {
  EXPECT_EQ(HexOf(std::string("\x00\x9f\xFA", 3)), "009ffa");
  const std::string hex(64, 'a');
  EXPECT_EQ(NormalizeSha256Hex(std::string(32, 'A') + std::string(32, 'f')), std::string(32, 'a') + std::string(32, 'f'));
  for (const std::string& bad : {hex.substr(1), hex + "0", std::string(63, 'a') + "g", std::string(), hex + " "})
    EXPECT_EQ(NormalizeSha256Hex(bad), "") << bad;

  IniText info("[NewSetup]\r\nSHA256OfUpdateFile= " + std::string(64, 'B') +
               "\r\n[AutoInform]\r\nSHA256OfInformFile=xyz\r\n");
  EXPECT_EQ(GetSHA256OfUpdateFile(info), std::string(64, 'b'));
  EXPECT_EQ(GetSHA256OfInformFile(info), "");
  EXPECT_EQ(GetSHA256OfInformFile(IniText("")), "");
}
