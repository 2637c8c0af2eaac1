#include "Release.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>

#include <aclapi.h>
#else
#include <sys/stat.h>
#endif

#include "Crypto.h"
#include "KeyFiles.h"
#include "PackageLister.h"
#include "PackageWriter.h"
#include "agent/SignedInfo.h"
#include "package/PackageReader.h"
#include "support/TestFiles.h"
#include "util/SeparatorLists.h"

namespace fs = std::filesystem;

namespace {

std::string Pem(const std::string& der) {
  std::string b64 = Base64Encode(der), text = "-----BEGIN PUBLIC KEY-----\n";
  for (size_t i = 0; i < b64.size(); i += 64) text += b64.substr(i, 64) + "\n";
  return text + "-----END PUBLIC KEY-----\n";
}

#ifdef _WIN32
bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// Whom the file's access list lets in besides the current user and the system ("" for
// nobody; Wine shows its files' Unix modes as SYSTEM, the owner and Everyone).
std::string OthersAllowed(const std::string& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &sd) != ERROR_SUCCESS)
    return "(unreadable)";
  HANDLE token = nullptr;
  char user[256], system[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof system;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  GetTokenInformation(token, TokenUser, user, sizeof user, &size);
  CloseHandle(token);
  size = sizeof system;
  CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
  std::string others = dacl ? "" : "(no access list: everyone)";
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID sid = &ace->SidStart;
    if (!EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) && !EqualSid(sid, system))
      others += "another SID ";
  }
  LocalFree(sd);
  return others;
}
#endif

class SignedRelease : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(GenerateKeyPair(dir.File("vendor"), error)) << error;
    ASSERT_TRUE(ReadPublicKeyFile(dir.File("vendor.pub"), spki, error)) << error;
    WriteBytes(dir.File("Stub.exe"), MakeStubImage(8192));
    WriteBytes(dir.File("app.txt"), "version 2\r\n");
    ASSERT_TRUE(Package("Update2.exe", "token-1", OutputKind::Setup, Base64Encode(spki)));
    WriteBytes(dir.File("news.rtf"), "{\\rtf1 New!}");
    options.keyPath = dir.File("vendor.key");
    options.setupPath = dir.File("Update2.exe");
    options.downloadLocation = "http://updates.example/app/";
    options.outputPath = dir.File("app.info");
    options.version = 2;
    options.stamp = 1700000000;
  }

  bool Package(const std::string& name, const std::string& token, OutputKind kind, const std::string& key = "") {
    BuildOptions b;
    b.kind = kind;
    b.stubPath = dir.File("Stub.exe");
    b.outputPath = dir.File(name);
    b.token = token;
    b.infoFileName = "app.info";
    b.updateKey = key;
    b.fixedDate = 1700000000;
    if (kind == OutputKind::Setup) b.files.push_back({dir.File("app.txt"), "app.txt", "", false, {}});
    BuildResult result;
    std::string error;
    bool ok = WritePackage(b, result, error);
    EXPECT_TRUE(ok) << error;
    return ok;
  }

  bool Release(std::string* errorOut = nullptr) {
    std::vector<std::string> notes;
    std::string error;
    bool ok = WriteRelease(options, notes, error);
    if (errorOut) *errorOut = error;
    return ok;
  }

  TempDir dir;
  std::string spki;
  ReleaseOptions options;
};

}  // namespace

TEST_F(SignedRelease, KeygenMakesOnePrivateKeyPairAndNeverOverwrites) {
#ifdef _WIN32
  EXPECT_EQ(OthersAllowed(dir.File("vendor.key")), "");
#else
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("vendor.key").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif
  EXPECT_EQ(spki.size(), kP256SpkiSize);
  // OpenSSL's PKCS#8 form with the public key, whichever library made it: read and
  // written again, the same bytes; its point is the public key file's.
  const std::string key = ReadBytes(dir.File("vendor.key"));
  P256PrivateKey pair;
  std::string error;
  ASSERT_TRUE(ReadP256PrivateKeyPem(key, pair, error)) << error;
  EXPECT_EQ(P256PrivateKeyPem(pair), key);
  EXPECT_EQ(P256PointToSpki(pair.point), spki);
  EXPECT_FALSE(GenerateKeyPair(dir.File("vendor"), error));
  EXPECT_NE(error.find("exists"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir.File("vendor.key")), key);
  WriteBytes(dir.File("other.pub"), "x");  // one of the two present is enough to refuse
  EXPECT_FALSE(GenerateKeyPair(dir.File("other"), error));
  EXPECT_FALSE(fs::exists(dir.File("other.key")));

  std::string raw, signer;
  ASSERT_TRUE(SignWithKeyFile(dir.File("vendor.key"), "data", raw, signer, error)) << error;
  EXPECT_EQ(signer, spki);
  EXPECT_TRUE(VerifySignature(spki, "data", raw));
  EXPECT_FALSE(VerifySignature(spki, "Data", raw));
  EXPECT_FALSE(SignWithKeyFile(dir.File("vendor.pub"), "data", raw, signer, error));
}

TEST_F(SignedRelease, PublicKeysOfAnotherFormAreRefused) {
  std::string point, der, error;
  ASSERT_TRUE(SpkiToP256Point(spki, point));
  std::string offCurve = spki;
  offCurve.back() ^= 1;
  const std::string p384 = std::string("\x30\x76\x30\x10\x06\x07\x2a\x86\x48\xce\x3d\x02\x01\x06\x05\x2b\x81\x04\x00"
                                       "\x22\x03\x62", 22) + std::string(1, '\0') + "\x04" + std::string(96, '\x01');
  struct {
    std::string text, message;
  } cases[] = {
      {Pem(offCurve), "not a valid"},
      {Pem(p384), "not an ECDSA P-256"},
      {Pem(spki).substr(0, 60), "no PEM public key"},
      {"-----BEGIN PUBLIC KEY-----\n!!!!\n-----END PUBLIC KEY-----\n", "no PEM public key"},
  };
  for (const auto& c : cases) {
#ifdef _WIN32
    if (c.message == std::string("not a valid") && UnderWine()) continue;  // Wine's CNG imports any point
#endif
    WriteBytes(dir.File("k.pub"), c.text);
    EXPECT_FALSE(ReadPublicKeyFile(dir.File("k.pub"), der, error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  WriteBytes(dir.File("k.pub"), "comment\r\n" + Pem(spki));  // CR LF and text around the block
  EXPECT_TRUE(ReadPublicKeyFile(dir.File("k.pub"), der, error)) << error;
  EXPECT_EQ(der, spki);
}

TEST_F(SignedRelease, PackagesCarryTheKeyAndTheDownloadDigestAsSixthItems) {
  TGFileInfo setup(dir.File("Update2.exe"));
  EXPECT_EQ(setup.GetUpdateKey(), Base64Encode(spki));
  EXPECT_EQ(setup.GetPackageToken(true), "token-1");  // the five items read as before
  EXPECT_FALSE(setup.IsHiddenRun());
  EXPECT_EQ(SUB::Count(setup.PackageHeader()), 6);
  ASSERT_TRUE(Package("agent.exe", "token-1", OutputKind::Agent, Base64Encode(spki)));
  EXPECT_EQ(TGFileInfo(dir.File("agent.exe")).GetUpdateKey(), Base64Encode(spki));
  ASSERT_TRUE(Package("plain.exe", "token-1", OutputKind::Setup));
  EXPECT_EQ(TGFileInfo(dir.File("plain.exe")).GetUpdateKey(), "");
  EXPECT_EQ(SUB::Count(TGFileInfo(dir.File("plain.exe")).PackageHeader()), 5);

  PackageListing listing = ListPackage(dir.File("Update2.exe"));
  EXPECT_EQ(listing.updateKeyFingerprint, HexOf(BytesSha256(spki)));
  EXPECT_TRUE(listing.problems.empty());
  ASSERT_TRUE(Package("bad.exe", "token-1", OutputKind::Setup, Base64Encode(spki.substr(1))));
  EXPECT_FALSE(ListPackage(dir.File("bad.exe")).problems.empty());

  BuildOptions b;
  b.kind = OutputKind::Internet;
  b.stubPath = dir.File("Stub.exe");
  b.outputPath = dir.File("net.exe");
  b.downloadFileName = "Update2.exe";
  b.downloadDigest = std::string(64, 'c');
  BuildResult result;
  std::string error;
  ASSERT_TRUE(WritePackage(b, result, error)) << error;
  TGFileInfo net(dir.File("net.exe"));
  EXPECT_EQ(net.GetDownloadDigest(), std::string(64, 'c'));
  EXPECT_EQ(net.GetDownloadFileName(), "Update2.exe");
  EXPECT_EQ(setup.GetDownloadDigest(), "");
}

TEST_F(SignedRelease, ATemplateIsKeptAndTheReleaseFillsItsKeys) {
  const std::string tmpl =
      "; vendor template\n"
      "[General]\nAutoInform=0\n"
      "[NewSetup]\nProgramName = Demo App \nVersionNew=1\nversionnew=9\nSizeOfUpdateFile=1\n"
      "[Signature]\nValue=old\n"
      "[Other]\nX=1\n"
      "[AutoInform]\r\nAutoInformW=400\r\n";
  std::string text, error;
  ASSERT_TRUE(ComposeInfoText(tmpl,
                              {{"NewSetup", "VersionNew", "2"},
                               {"NewSetup", "SizeOfUpdateFile", "11"},
                               {"NewSetup", "Stamp", "5"},
                               {"AutoInform", "NameOfInformFile", "news.rtf"}},
                              text, error))
      << error;
  EXPECT_EQ(text,
            "[NewSetup]\r\nProgramName=Demo App\r\nVersionNew=2\r\nSizeOfUpdateFile=11\r\nStamp=5\r\n\r\n"
            "[AutoInform]\r\nAutoInformW=400\r\nNameOfInformFile=news.rtf\r\n\r\n"
            "[General]\r\nAutoInform=0\r\n\r\n");
  EXPECT_FALSE(ComposeInfoText("[NewSetup]\nA=1\n[newsetup]\nB=2\n", {}, text, error));
  EXPECT_NE(error.find("second time"), std::string::npos);
  EXPECT_FALSE(ComposeInfoText("", {{"NewSetup", "RunningProcess", "a\r\n[General]"}}, text, error));
}

TEST_F(SignedRelease, AReleaseVerifiesAndOneChangedByteAnywhereBeforeTheSignatureFails) {
  options.informPath = dir.File("news.rtf");
  options.shutDownMethod = "Using WM_CLOSE";
  ASSERT_TRUE(Release());
  const std::string file = ReadBytes(options.outputPath);
  SignedInfoParts parts;
  ASSERT_EQ(SplitSignedInfo(file, parts), SignedInfoError::None);
  EXPECT_TRUE(VerifySignature(spki, parts.signedBytes, parts.signature));
  std::string digest, error;
  ASSERT_TRUE(FileSha256(options.setupPath, digest, error));
  EXPECT_NE(parts.signedBytes.find("SHA256OfUpdateFile=" + HexOf(digest) + "\r\n"), std::string::npos);
  EXPECT_NE(parts.signedBytes.find("NameOfInformFile=news.rtf\r\n"), std::string::npos);
  EXPECT_NE(parts.signedBytes.find("Stamp=1700000000\r\n"), std::string::npos);
  VerifyReport report = VerifyRelease(options.outputPath, spki);
  EXPECT_TRUE(report.failures.empty()) << report.failures[0];
  EXPECT_EQ(report.notes.size(), 3u);  // the signature, the update file, the inform file

  // Every byte before the signature is covered, and so is the signature itself.
  for (size_t at = 0; at < parts.signedBytes.size() + 88; ++at) {
    std::string changed = file;
    size_t where = at < parts.signedBytes.size() ? at : file.find("Value=") + 6 + (at - parts.signedBytes.size());
    changed[where] ^= 0x20;
    SignedInfoParts p;
    if (SplitSignedInfo(changed, p) == SignedInfoError::None)
      EXPECT_FALSE(VerifySignature(spki, p.signedBytes, p.signature)) << "byte " << where;
  }
  std::string inserted = file;
  inserted.insert(parts.signedBytes.size() - 2, " ");
  ASSERT_EQ(SplitSignedInfo(inserted, parts), SignedInfoError::None);
  EXPECT_FALSE(VerifySignature(spki, parts.signedBytes, parts.signature));

  // Another key, a changed update file, a missing digest.
  std::string otherSpki;
  ASSERT_TRUE(GenerateKeyPair(dir.File("other"), error));
  ASSERT_TRUE(ReadPublicKeyFile(dir.File("other.pub"), otherSpki, error));
  EXPECT_EQ(VerifyRelease(options.outputPath, otherSpki).failures.size(), 1u);
  WriteBytes(options.informPath, "{\\rtf1 New?}");
  report = VerifyRelease(options.outputPath, spki);
  ASSERT_EQ(report.failures.size(), 1u);
  EXPECT_NE(report.failures[0].find("inform file news.rtf has the SHA-256"), std::string::npos);
  fs::remove(options.informPath);
  report = VerifyRelease(options.outputPath, spki);
  EXPECT_TRUE(report.failures.empty());
  EXPECT_NE(report.notes.back().find("not beside"), std::string::npos);
  std::string body = "[NewSetup]\r\nNameOfUpdateFile=Update2.exe\r\n", raw, signer;
  ASSERT_TRUE(SignWithKeyFile(options.keyPath, body, raw, signer, error));
  WriteBytes(options.outputPath, body + SignatureSection(raw));
  report = VerifyRelease(options.outputPath, spki);
  ASSERT_EQ(report.failures.size(), 1u);
  EXPECT_NE(report.failures[0].find("SHA256OfUpdateFile is missing"), std::string::npos);
}

TEST_F(SignedRelease, TheSameInputsGiveTheSameFileButForTheSignature) {
  ASSERT_TRUE(Release());
  std::string first = ReadBytes(options.outputPath);
  ASSERT_TRUE(Release());
  std::string second = ReadBytes(options.outputPath);
  size_t cut = first.find("[Signature]");
  ASSERT_NE(cut, std::string::npos);
  EXPECT_EQ(first.substr(0, cut), second.substr(0, cut));
  EXPECT_EQ(first.size(), second.size());
}

TEST_F(SignedRelease, TheAgentMustShareTokenAndKey) {
  ASSERT_TRUE(Package("agent.exe", "token-1", OutputKind::Agent, Base64Encode(spki)));
  options.agentPath = dir.File("agent.exe");
  EXPECT_TRUE(Release());

  std::string error;
  ASSERT_TRUE(Package("agent.exe", "token-2", OutputKind::Agent, Base64Encode(spki)));
  EXPECT_FALSE(Release(&error));
  EXPECT_NE(error.find("the agent would refuse the update"), std::string::npos) << error;

  std::string otherSpki;
  ASSERT_TRUE(GenerateKeyPair(dir.File("other"), error));
  ASSERT_TRUE(ReadPublicKeyFile(dir.File("other.pub"), otherSpki, error));
  ASSERT_TRUE(Package("agent.exe", "token-1", OutputKind::Agent, Base64Encode(otherSpki)));
  EXPECT_FALSE(Release(&error));
  EXPECT_NE(error.find("another update key"), std::string::npos) << error;

  ASSERT_TRUE(Package("agent.exe", "token-1", OutputKind::Agent));
  std::vector<std::string> notes;
  ASSERT_TRUE(WriteRelease(options, notes, error)) << error;
  EXPECT_NE(notes[0].find("carries no update key"), std::string::npos);

  options.agentPath.clear();
  options.shutDownMethod = "Using WM_CLOSE ";
  EXPECT_FALSE(Release(&error));
  options.shutDownMethod.clear();
  options.setupPath = dir.File("news.rtf");
  EXPECT_FALSE(Release(&error));
  EXPECT_NE(error.find("not a setup file"), std::string::npos);
}
