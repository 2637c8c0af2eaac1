#include "agent/UpdateCycle.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "agent/ServerFileNames.h"

namespace {

TEST(UpdateCycleTexts, DownloadQuestionPicksTheSecondPartByInstallQuestionAndForce) {
  DownloadTexts t{"Get PROG_NAME?", "[12]", "[13]", "[18]", "[19]"};
  EXPECT_EQ(DownloadQuestionText(t, false, false, "Demo"), "Get Demo?[12]");
  EXPECT_EQ(DownloadQuestionText(t, true, false, "Demo"), "Get Demo?[13]");
  EXPECT_EQ(DownloadQuestionText(t, false, true, "Demo"), "Get Demo?[18]");
  EXPECT_EQ(DownloadQuestionText(t, true, true, "Demo"), "Get Demo?[19]");
  // The name in the second part is replaced as well; only the exact case counts.
  t.s12 = " PROG_NAME prog_name";
  EXPECT_EQ(DownloadQuestionText(t, false, false, "D"), "Get D? D prog_name");
  EXPECT_EQ(InstallQuestionText("Install PROG_NAME?", "PROG_NAME will be installed.", false, "D"), "Install D?");
  EXPECT_EQ(InstallQuestionText("Install PROG_NAME?", "PROG_NAME will be installed.", true, "D"),
            "D will be installed.");
}

TEST(UpdateCycleTexts, DownloadFailureNamesThePathAndTheKindOfSource) {
  EXPECT_EQ(DownloadFailureText("http://h/u.exe", true, "aborted", "missing", "failed"), "aborted");
  EXPECT_EQ(DownloadFailureText("C:\\src\\u.exe", false, "aborted", "missing", "failed"),
            "C:\\src\\u.exe<P><P>missing");
  EXPECT_EQ(DownloadFailureText("\\\\srv\\share\\u.exe", false, "aborted", "missing", "failed"),
            "\\\\srv\\share\\u.exe<P><P>missing");
  EXPECT_EQ(DownloadFailureText("http://h/u.exe", false, "aborted", "missing", "failed"),
            "http://h/u.exe<P><P>failed");
  EXPECT_FALSE(AnnounceDownloadFailure("ab", true));
  EXPECT_FALSE(AnnounceDownloadFailure("http://h/u.exe", false));
  EXPECT_TRUE(AnnounceDownloadFailure("abc", true));
}

TEST(ShutDownMethods, NamesAreExactAndAnythingElseOnlyWaits) {
  EXPECT_EQ(ShutDownMethodOf("Issue a Message Box"), ShutDownMethod::MessageBox);
  EXPECT_EQ(ShutDownMethodOf("Using WM_CLOSE"), ShutDownMethod::Close);
  EXPECT_EQ(ShutDownMethodOf("Using WM_QUIT"), ShutDownMethod::Quit);
  EXPECT_EQ(ShutDownMethodOf("Using Terminate Process"), ShutDownMethod::Terminate);
  EXPECT_EQ(ShutDownMethodOf("Don't Shut Down"), ShutDownMethod::DontShutDown);
  for (const char* other : {"", "using wm_close", "Using WM_CLOSE ", "Terminate", "Don`t Shut Down"})
    EXPECT_EQ(ShutDownMethodOf(other), ShutDownMethod::WaitOnly) << other;
}

TEST(ShutDownMethods, RestartOnlyWhatRanAndHasEnded) {
  EXPECT_TRUE(ShouldRestartProgram(true, true, false));
  EXPECT_FALSE(ShouldRestartProgram(true, false, false));  // was not running: no restart
  EXPECT_FALSE(ShouldRestartProgram(true, true, true));    // still runs (or cannot tell)
  EXPECT_FALSE(ShouldRestartProgram(false, true, false));
}

TEST(RunningProcess, AcceptedOnlyInsideTheProductsFolders) {
  ProductFolders f{"C:\\Program Files\\Demo", "C:\\Common\\Demo", "\\\\srv\\apps\\Demo"};
  struct {
    const char* program;
    bool accepted;
  } cases[] = {
      {"C:\\Program Files\\Demo\\App.exe", true},
      {"c:\\PROGRAM FILES\\demo\\bin\\app.exe", true},         // case folds
      {"C:\\Common\\Demo\\Tool.exe", true},                    // the shared folder
      {"\\\\srv\\apps\\Demo\\App.exe", true},                  // a share as auxiliary folder
      {"C:\\Program Files\\Demo\\..\\Other\\App.exe", false},  // leaves through ".."
      {"C:\\Program Files\\DemoX\\App.exe", false},            // a sibling with the same prefix
      {"C:\\Windows\\System32\\cmd.exe", false},
      {"App.exe", false},                                      // a bare name matches anywhere
      {"Demo\\App.exe", false},                                // relative
      {"\\\\other\\apps\\Demo\\App.exe", false},
      {"C:\\Program Files\\Demo", false},                      // the folder itself
      {"C:\\Program Files\\Demo\\", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(RunningProcessAccepted(c.program, f), c.accepted) << c.program;
  // A trailing backslash on a folder changes nothing.
  EXPECT_TRUE(RunningProcessAccepted("C:\\Apps\\A.exe", ProductFolders{"C:\\Apps\\", "", ""}));
  // Without any folder nothing is the product's.
  EXPECT_FALSE(RunningProcessAccepted("C:\\Apps\\A.exe", ProductFolders{}));
  // A relative or empty folder never holds anything.
  EXPECT_FALSE(RunningProcessAccepted("C:\\Apps\\A.exe", ProductFolders{"Apps", "", ""}));
}

TEST(ServerFiles, RefusesNamesThatCouldReachOtherFiles) {
  std::vector<std::string> own = AgentOwnFileNames("Agent.exe", "Agent.info", "Agent.original");
  EXPECT_EQ(ServerFileNameRefusal("", own), "");  // nothing offered
  EXPECT_EQ(ServerFileNameRefusal("Update-2.exe", own), "");
  for (const char* bad : {"..\\Update.exe", "sub/Update.exe", "C:Update.exe", "..", "CON", "com1.exe",
                          "AGENT.EXE", "X_Agent.exe", "Agent.info", "agent.original", "X_Agent.log",
                          "_DEL_ME_.BAT"})
    EXPECT_EQ(ServerFileNameRefusal(bad, own), std::string("ERROR: not a plain file name: ") + bad) << bad;
}

TEST(ServerFiles, TokensMatchOnlyWhenBothPassTheirCheck) {
  const std::string ab = "cbbebdfdfcstce";  // "AB"
  EXPECT_TRUE(TokensMatch(ab, ab));
  EXPECT_FALSE(TokensMatch(ab, "cbbebdfdfcsuce"));           // ours fails its check
  EXPECT_FALSE(TokensMatch("zz", "zz"));                     // equal texts, both unreadable
  EXPECT_FALSE(TokensMatch("", ""));
}

TEST(Restart, SwitchesCarryTheWaitAndTheOverrideList) {
  EXPECT_EQ(AgentRestartSwitches("|255|1|255|255|255|255|255|255|"),
            " /_ZZ=99 /WAIT=10 /TRANSIENT=|255|1|255|255|255|255|255|255|");
  EXPECT_EQ(OriginalInfoFileSwitch("C:\\agent dir\\Agent.info"), "/OriginalInfoFile=\"C:\\agent dir\\Agent.info\"");
}

}  // namespace

namespace {

// The SubjectPublicKeyInfo of a P-256 key as OpenSSL writes it, in base64.
const char kSpki[] = "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEEUPoJKZtD/ZbgYegc9GATMSTfRTksj19qRTVrDoU5NvVbtAOsfo0PLHp8Nx3oagCCoiRhFJrtxsEkNqE7SNkbQ==";

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

TEST(PinnedKeys, AnEmptyItemPinsNothingAndAnythingButAP256KeyIsRefused) {
  std::string point = "left over";
  EXPECT_EQ(ParsePinnedKey("", point), PinnedKey::None);
  EXPECT_TRUE(point.empty());
  ASSERT_EQ(ParsePinnedKey(kSpki, point), PinnedKey::Valid);
  EXPECT_EQ(Hex(point), "1143e824a66d0ff65b8187a073d1804cc4937d14e4b23d7da914d5ac3a14e4dbd56ed00eb1fa343cb1e9f0dc77a1a8020a889184526bb71b0490da84ed23646d");
  std::string spki = kSpki;
  const std::vector<std::string> bad_items = {spki.substr(0, spki.size() - 4), spki + "AAAA", "not base64!", "AAAA",
                                             "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQc=" /* a prefix alone */};
  for (const std::string& bad : bad_items) {
    EXPECT_EQ(ParsePinnedKey(bad, point), PinnedKey::Malformed) << bad;
    EXPECT_TRUE(point.empty());
  }
}

TEST(PinnedKeys, DigestMatchesOnlyTheSignedHexOfThirtyTwoBytes) {
  std::string digest(32, '\0');
  for (int i = 0; i < 32; ++i) digest[i] = char(0xA0 + i);
  std::string hex = Hex(digest);
  EXPECT_TRUE(DigestMatches(hex, digest));
  std::string upper = hex;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(DigestMatches(upper, digest));  // either case
  EXPECT_FALSE(DigestMatches("", digest));    // a keyed agent needs the value
  EXPECT_FALSE(DigestMatches(hex.substr(0, 62), digest));
  EXPECT_FALSE(DigestMatches(hex + "00", digest));
  std::string other = digest;
  other[31] ^= 1;
  EXPECT_FALSE(DigestMatches(hex, other));
  EXPECT_FALSE(DigestMatches(hex, digest.substr(0, 31)));
}

}  // namespace
