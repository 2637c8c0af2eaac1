// Agent settings over INI text and injected clocks.
#include "agent/AgentSettings.h"

#include "util/Files.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>

#include "package/PackageReader.h"
#include "support/TestFiles.h"
#include "util/FileIO.h"

namespace {

// A store whose writes fail (a read-only or locked file) but that still reads.
class ReadOnlyStore : public SettingsStore {
 public:
  explicit ReadOnlyStore(std::string text) : ini_(std::move(text)) {}
  std::string Read(const std::string& s, const std::string& k, const std::string& d) const override {
    return ini_.Read(s, k, d);
  }
  bool Write(const std::string&, const std::string&, const std::string&) override { return false; }

 private:
  IniText ini_;
};

// Registry values by name, counting every read.
class FakeRegistry : public SettingsSource {
 public:
  std::string Read(const std::string& section, const std::string& key, const std::string& def) const override {
    ++reads;
    lastSection = section;
    auto it = values.find(key);
    return it == values.end() || it->second.empty() ? def : it->second;
  }
  std::map<std::string, std::string> values;
  mutable int reads = 0;
  mutable std::string lastSection;
};

}  // namespace

// ---- INI text ------------------------------------------------------------------------

TEST(IniText, AnswersLikeTheProfileReader) {
  IniText ini(
      "; comment\r\n"
      "top=before any section\r\n"
      "  [Main]  \r\n"
      "  Name  =  Demo Value  \r\n"
      "NAME=second wins never\r\n"
      "Empty=\r\n"
      "Blank=   \r\n"
      "Quoted=\"  spaced  \"\r\n"
      "Single='x'\r\n"
      "Mixed=\"x'\r\n"
      "Lone=\"\r\n"
      "BothEmpty=\"\"\r\n"
      "NoEquals\r\n"
      ";Hidden=1\r\n"
      "Eq=a=b\r\n"
      "[Other]\n"
      "Name=other\n"
      "[main]\n"
      "Late=from a second Main\n"
      "[ Spaced ]\n"
      "In=side\n"
      "[Open\n"
      "Lost=1\n"
      "[Last]\n"
      "End=no newline at end");
  EXPECT_EQ(ini.Read("main", "name", "d"), "Demo Value");
  EXPECT_EQ(ini.Read(" Main ", " Name ", "d"), "Demo Value");
  EXPECT_EQ(ini.Read("Main", "Empty", "d"), "d");
  EXPECT_EQ(ini.Read("Main", "Blank", "d"), "d");
  EXPECT_EQ(ini.Read("Main", "Quoted", "d"), "  spaced  ");
  EXPECT_EQ(ini.Read("Main", "Single", "d"), "x");
  EXPECT_EQ(ini.Read("Main", "Mixed", "d"), "\"x'");
  EXPECT_EQ(ini.Read("Main", "Lone", "d"), "\"");
  EXPECT_EQ(ini.Read("Main", "BothEmpty", "d"), "d");
  EXPECT_EQ(ini.Read("Main", "NoEquals", "d"), "d");
  EXPECT_EQ(ini.Read("Main", "Hidden", "d"), "d");
  EXPECT_EQ(ini.Read("Main", "Eq", "d"), "a=b");
  EXPECT_EQ(ini.Read("Other", "Name", "d"), "other");
  EXPECT_EQ(ini.Read("Main", "Late", "d"), "d");  // only the first [Main] counts
  EXPECT_EQ(ini.Read("Last", "End", "d"), "no newline at end");
  EXPECT_EQ(ini.Read("Spaced", "In", "d"), "side");  // blanks inside the brackets do not count
  EXPECT_EQ(ini.Read("Spaced", "Lost", "d"), "1");    // "[Open" is a key line, not a section
  EXPECT_EQ(ini.Read("Open", "Lost", "d"), "d");
  EXPECT_EQ(ini.Read("Missing", "Name", "d"), "d");
  EXPECT_EQ(ini.Read("", "top", "d"), "d");
  EXPECT_EQ(ini.Read("Main", "", "d"), "d");
  EXPECT_EQ(IniText().Read("Main", "Name", "d"), "d");
}

TEST(IniText, WritesReplaceOrAddAndRefuseLineBreaks) {
  IniText ini("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  EXPECT_TRUE(ini.Write("a", "X", "10"));
  EXPECT_TRUE(ini.Write("A", "z", "3"));
  EXPECT_TRUE(ini.Write("C", "w", "4"));
  EXPECT_EQ(ini.Text(), "[A]\r\nX=10\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=4\r\n");
  EXPECT_FALSE(ini.Write("A", "x", "1\r\ninjected=1"));
  EXPECT_FALSE(ini.Write("A\n", "x", "1"));
  EXPECT_FALSE(ini.Write("A", "", "1"));
  EXPECT_FALSE(ini.Write("A", "k=v", "1"));
  EXPECT_EQ(ini.Read("A", "injected", "none"), "none");

  IniText bare("[S]\nk=1");  // last line without a line break
  EXPECT_TRUE(bare.Write("S", "n", "2"));
  EXPECT_EQ(bare.Text(), "[S]\nk=1\r\nn=2\r\n");
  IniText empty;
  EXPECT_TRUE(empty.Write("S", "k", ""));
  EXPECT_EQ(empty.Text(), "[S]\r\nk=\r\n");
}

TEST(TypedReads, IntegersAndYesNo) {
  IniText ini("[S]\nn=12abc\nneg=-5\npad= 42 \nbig=9223372036854775807\nover=9223372036854775808\n"
              "yes=yes\none=1\nzero1=01\ntrue=TRUE\n");
  EXPECT_EQ(ReadSettingInt(ini, "S", "n", 7), 7);
  EXPECT_EQ(ReadSettingInt(ini, "S", "neg", 7), -5);
  EXPECT_EQ(ReadSettingInt(ini, "S", "pad", 7), 42);
  EXPECT_EQ(ReadSettingInt(ini, "S", "big", 7), INT64_MAX);
  EXPECT_EQ(ReadSettingInt(ini, "S", "over", 7), 7);
  EXPECT_EQ(ReadSettingInt(ini, "S", "missing", -3), -3);
  EXPECT_FALSE(ReadSettingYesNo(ini, "S", "yes"));
  EXPECT_TRUE(ReadSettingYesNo(ini, "S", "one"));
  EXPECT_FALSE(ReadSettingYesNo(ini, "S", "zero1"));
  EXPECT_FALSE(ReadSettingYesNo(ini, "S", "true"));
  EXPECT_FALSE(ReadSettingYesNo(ini, "S", "missing"));
}

// ---- every key and its default ----------------------------------------------------------

namespace {

void ExpectInfoDefaults(const SettingsSource& info) {
  OverrideSwitches none;
  EXPECT_EQ(GetDownloadURL_UPDATE(info), "");
  EXPECT_EQ(GetNameOfUpdateFile(info), "");
  EXPECT_EQ(GetSizeOfUpdateFile(info), 0);
  EXPECT_FALSE(GetRequestConfirmationBeforeDownload(info, none));
  EXPECT_FALSE(GetRequestConfirmationBeforeDownloadForce(info, none));
  EXPECT_FALSE(GetRequestConfirmationBeforeInstall(info, none));
  EXPECT_FALSE(GetRequestConfirmationBeforeInstallForce(info, none));
  EXPECT_FALSE(GetBackgroundUpdate(info, none));
  EXPECT_EQ(GetShutDownMethod(info), "");
  EXPECT_FALSE(GetRestartProcess(info, none));
  EXPECT_FALSE(GetInformFinish(info, none));
  EXPECT_EQ(GetRunningProcess(info), "");
  EXPECT_EQ(GetProgramName(info), "");
  EXPECT_EQ(GetVersionNew(info), 0);
  EXPECT_EQ(GetStamp(info), 0);
  EXPECT_EQ(GetValidVersions(info), "");
  EXPECT_FALSE(GetRemoveStartUpShortcut(info));
  EXPECT_FALSE(GetRemoveCheckForNewUpdateShortcut(info));
  EXPECT_EQ(GetDownloadURL_INFORM(info), "");
  EXPECT_EQ(GetNameOfInformFile(info), "");
  EXPECT_EQ(GetSizeOfInformFile(info), 0);
  EXPECT_EQ(GetAutoInformW(info), 360);
  EXPECT_EQ(GetAutoInformH(info), 360);
  EXPECT_EQ(GetAutoInform(info), 0);
}

void ExpectOriginalDefaults(const SettingsSource& o) {
  SecondsFloor noFloor;
  EXPECT_EQ(GetProbeSecondsInterval(o), 0);
  EXPECT_EQ(GetProbeSecondsLast(o, noFloor), 0);
  EXPECT_EQ(GetReAskSecondsInterval(o), 0);
  EXPECT_EQ(GetReAskSecondsLast(o), 0);
  EXPECT_EQ(GetVersionOriginal(o), 0);
  EXPECT_EQ(GetOriginalStamp(o), 0);
  EXPECT_EQ(GetOriginalProgramName(o), "");
  EXPECT_EQ(GetTargetDir(o), "");
  EXPECT_EQ(GetSharedDir(o), "");
  EXPECT_EQ(GetAuxiliaryDir(o), "");
  EXPECT_EQ(GetStartUpLink(o), "");
  EXPECT_EQ(GetCheckforNewUpdateLink(o), "");
  EXPECT_EQ(GetMsgBoxBtnText(o), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_EQ(GetMsgBoxError(o), "Error");
  EXPECT_EQ(GetMsgBoxConfirm(o), "Confirm");
  EXPECT_EQ(GetMsgBoxAttention(o), "Attention");
  EXPECT_EQ(GetMsgBoxCharSet(o), 0);
  EXPECT_EQ(GetMsgBoxFontName(o), "Tahoma");
  EXPECT_EQ(GetMsgBoxFontSize(o), 8);
  EXPECT_EQ(GetAgentText(o, "s2"), "");
  EXPECT_EQ(GetAgentText(o, "s3"), "File Download Aborted!");
  EXPECT_EQ(GetAgentText(o, "s4"), "File not Found!");
  EXPECT_EQ(GetAgentText(o, "s5"), "Unable to Download File!");
  EXPECT_EQ(GetAgentText(o, "s11"), "");
  EXPECT_EQ(GetAgentText(o, "s31"), "Downloading INFO File...");
  EXPECT_EQ(GetAgentText(o, "s32"), "Downloading UPDATE File...");
  EXPECT_EQ(GetAgentText(o, "s33"), "Downloading INFORM File...");
  EXPECT_EQ(GetAgentText(o, "s34"), "New Version");
  EXPECT_EQ(GetAgentText(o, "s35"), "Download");
  EXPECT_EQ(GetAgentText(o, "s14", "asked"), "asked");
}

const char* const kEmptyInfo =
    "[NewSetup]\nDownloadURL_UPDATE=\nNameOfUpdateFile=\nSizeOfUpdateFile=\nRequestConfirmationBeforeDownload=\n"
    "RequestConfirmationBeforeDownloadForce=\nRequestConfirmationBeforeInstall=\n"
    "RequestConfirmationBeforeInstallForce=\nBackgroundUpdate=\nShutDownMethod=\nRestartProcess=\nInformFinish=\n"
    "RunningProcess=\nProgramName=\nVersionNew=\nStamp=\nValidVersions=\nRemoveStartUpShortcut=\n"
    "RemoveCheckForNewUpdateShortcut=\n[AutoInform]\nDownloadURL_INFORM=\nNameOfInformFile=\nSizeOfInformFile=\n"
    "AutoInformW=\nAutoInformH=\n[General]\nAutoInform=\n";

const char* const kEmptyOriginal =
    "[OriginalSetup]\nProbeSecondsInterval=\nProbeSecondsLast=\nReAskSecondsInterval=\nReAskSecondsLast=\n"
    "VersionOriginal=\nStamp=\nProgramName=\n[Directories]\nTargetDir=\nSharedDir=\nAuxiliaryDir=\n"
    "[UnInstall]\nStartUpLink=\nCheckforNewUpdateLink=\n[MsgBox]\nBtnText=\nError=\nConfirm=\nAttention=\n"
    "CharSet=\nFontName=\nFontSize=\n[AutoUpdate]\ns2=\ns3=\ns4=\ns5=\ns11=\ns31=\ns32=\ns33=\ns34=\ns35=\n";

}  // namespace

TEST(Defaults, AbsentFileAbsentKeysAndEmptyValues) {
  {
    SCOPED_TRACE("absent file");
    ExpectInfoDefaults(IniText());
    ExpectOriginalDefaults(IniText());
  }
  {
    SCOPED_TRACE("absent keys");
    ExpectInfoDefaults(IniText("[NewSetup]\nOther=1\n[AutoInform]\n[General]\nX=1\n"));
    ExpectOriginalDefaults(IniText("[OriginalSetup]\nOther=1\n[MsgBox]\n[AutoUpdate]\ns99=x\n"));
  }
  {
    SCOPED_TRACE("empty values");
    ExpectInfoDefaults(IniText(kEmptyInfo));
    ExpectOriginalDefaults(IniText(kEmptyOriginal));
  }
  {
    SCOPED_TRACE("non-numeric integers");
    IniText info("[NewSetup]\nSizeOfUpdateFile=12 MB\nVersionNew=v2\nStamp=0x10\n[AutoInform]\nAutoInformW=wide\n"
                 "AutoInformH=1e3\nSizeOfInformFile=--1\n[General]\nAutoInform=yes\n");
    ExpectInfoDefaults(info);
    IniText o("[OriginalSetup]\nProbeSecondsInterval=1h\nProbeSecondsLast=now\nReAskSecondsInterval=+\n"
              "ReAskSecondsLast=1.5\nVersionOriginal=one\nStamp=-\n[MsgBox]\nCharSet=x\nFontSize=big\n");
    ExpectOriginalDefaults(o);
  }
}

TEST(Keys, ValuesAreReadFromTheirSections) {
  IniText info(
      "[NewSetup]\nDownloadURL_UPDATE=http://h/u/\nNameOfUpdateFile=Update.exe\nSizeOfUpdateFile=5000000000\n"
      "ShutDownMethod=WM_CLOSE\nRunningProcess=<TargetDir>\\App.exe\nProgramName=Vabrix App\nVersionNew=205\n"
      "Stamp=-7\nValidVersions=100,200\nRemoveStartUpShortcut=1\nRemoveCheckForNewUpdateShortcut=1\n"
      "[AutoInform]\nDownloadURL_INFORM=http://h/i/\nNameOfInformFile=news.rtf\nSizeOfInformFile=123\n"
      "AutoInformW=500\nAutoInformH=-1\n[General]\nAutoInform=1\n");
  EXPECT_EQ(GetDownloadURL_UPDATE(info), "http://h/u/");
  EXPECT_EQ(GetNameOfUpdateFile(info), "Update.exe");
  EXPECT_EQ(GetSizeOfUpdateFile(info), 5000000000LL);
  EXPECT_EQ(GetShutDownMethod(info), "WM_CLOSE");
  EXPECT_EQ(GetRunningProcess(info), "<TargetDir>\\App.exe");
  EXPECT_EQ(GetProgramName(info), "Vabrix App");
  EXPECT_EQ(GetVersionNew(info), 205);
  EXPECT_EQ(GetStamp(info), -7);
  EXPECT_EQ(GetValidVersions(info), "100,200");
  EXPECT_TRUE(GetRemoveStartUpShortcut(info));
  EXPECT_TRUE(GetRemoveCheckForNewUpdateShortcut(info));
  EXPECT_EQ(GetDownloadURL_INFORM(info), "http://h/i/");
  EXPECT_EQ(GetNameOfInformFile(info), "news.rtf");
  EXPECT_EQ(GetSizeOfInformFile(info), 123);
  EXPECT_EQ(GetAutoInformW(info), 500);
  EXPECT_EQ(GetAutoInformH(info), -1);
  EXPECT_EQ(GetAutoInform(info), 1);

  IniText o(
      "[OriginalSetup]\nProbeSecondsInterval=3600\nProbeSecondsLast=3282483789\nReAskSecondsInterval=-1\n"
      "ReAskSecondsLast=17\nVersionOriginal=200\nStamp=9\nProgramName=Orig\n[Directories]\nTargetDir=C:\\T\n"
      "SharedDir=C:\\S\nAuxiliaryDir=C:\\A\n[UnInstall]\nStartUpLink=s.lnk\nCheckforNewUpdateLink=c.lnk\n"
      "[MsgBox]\nBtnText=|Ja|Nein|\nError=Fehler\nConfirm=Frage\nAttention=Achtung\nCharSet=177\n"
      "FontName=Arial\nFontSize=12\n[AutoUpdate]\ns3=Abgebrochen\ns22=Check PROG_NAME?\n");
  SecondsFloor noFloor;
  EXPECT_EQ(GetProbeSecondsInterval(o), 3600);
  EXPECT_EQ(GetProbeSecondsLast(o, noFloor), 3282483789LL);
  EXPECT_EQ(GetReAskSecondsInterval(o), -1);
  EXPECT_EQ(GetReAskSecondsLast(o), 17);
  EXPECT_EQ(GetVersionOriginal(o), 200);
  EXPECT_EQ(GetOriginalStamp(o), 9);
  EXPECT_EQ(GetOriginalProgramName(o), "Orig");
  EXPECT_EQ(GetTargetDir(o), "C:\\T");
  EXPECT_EQ(GetSharedDir(o), "C:\\S");
  EXPECT_EQ(GetAuxiliaryDir(o), "C:\\A");
  EXPECT_EQ(GetStartUpLink(o), "s.lnk");
  EXPECT_EQ(GetCheckforNewUpdateLink(o), "c.lnk");
  EXPECT_EQ(GetMsgBoxBtnText(o), "|Ja|Nein|");
  EXPECT_EQ(GetMsgBoxError(o), "Fehler");
  EXPECT_EQ(GetMsgBoxConfirm(o), "Frage");
  EXPECT_EQ(GetMsgBoxAttention(o), "Achtung");
  EXPECT_EQ(GetMsgBoxCharSet(o), 177);
  EXPECT_EQ(GetMsgBoxFontName(o), "Arial");
  EXPECT_EQ(GetMsgBoxFontSize(o), 12);
  EXPECT_EQ(GetAgentText(o, "s3"), "Abgebrochen");
  EXPECT_EQ(GetAgentText(o, "S22"), "Check PROG_NAME?");
  EXPECT_EQ(ReplaceProgName(GetAgentText(o, "s22"), GetOriginalProgramName(o)), "Check Orig?");
}

TEST(Keys, ByteSettingsOutsideTheirRangeReadAsDefault) {
  EXPECT_EQ(GetMsgBoxCharSet(IniText("[MsgBox]\nCharSet=300\n")), 0);  // never 300 & 255 = 44
  EXPECT_EQ(GetMsgBoxCharSet(IniText("[MsgBox]\nCharSet=-1\n")), 0);
  EXPECT_EQ(GetMsgBoxCharSet(IniText("[MsgBox]\nCharSet=255\n")), 255);
  EXPECT_EQ(GetMsgBoxFontSize(IniText("[MsgBox]\nFontSize=0\n")), 8);
  EXPECT_EQ(GetMsgBoxFontSize(IniText("[MsgBox]\nFontSize=4294967304\n")), 8);  // 2^32 + 8 is not 8 by luck
  EXPECT_EQ(GetMsgBoxFontSize(IniText("[MsgBox]\nFontSize=4294967305\n")), 8);
  EXPECT_EQ(GetMsgBoxFontSize(IniText("[MsgBox]\nFontSize=255\n")), 255);
}

TEST(Keys, ProgNameReplacement) {
  EXPECT_EQ(ReplaceProgName("PROG_NAME is PROG_NAME.", "Vabrix"), "Vabrix is Vabrix.");
  EXPECT_EQ(ReplaceProgName("prog_name Prog_Name", "Vabrix"), "prog_name Prog_Name");
  EXPECT_EQ(ReplaceProgName("PROG_NAME!", "xPROG_NAMEx"), "xPROG_NAMEx!");  // one pass
  EXPECT_EQ(ReplaceProgName("PROG_NAMEPROG_NAME", ""), "");
}

// ---- override switches ------------------------------------------------------------------

TEST(Overrides, SwitchDecidesUnless255) {
  IniText off("[NewSetup]\nRequestConfirmationBeforeDownload=0\n");
  IniText on("[NewSetup]\nRequestConfirmationBeforeDownload=1\n");
  IniText yes("[NewSetup]\nRequestConfirmationBeforeInstall=yes\n");
  OverrideSwitches sw;
  EXPECT_FALSE(GetRequestConfirmationBeforeDownload(off, sw));
  EXPECT_TRUE(GetRequestConfirmationBeforeDownload(on, sw));
  EXPECT_FALSE(GetRequestConfirmationBeforeInstall(yes, sw));
  ASSERT_TRUE(sw.Set(kOverrideConfirmDownload, 1));
  EXPECT_TRUE(GetRequestConfirmationBeforeDownload(off, sw));
  ASSERT_TRUE(sw.Set(kOverrideConfirmDownload, 0));
  EXPECT_FALSE(GetRequestConfirmationBeforeDownload(on, sw));
  ASSERT_TRUE(sw.Set(kOverrideConfirmDownload, 2));  // any other value is no
  EXPECT_FALSE(GetRequestConfirmationBeforeDownload(on, sw));
  ASSERT_TRUE(sw.Set(kOverrideConfirmDownload, 255));
  EXPECT_TRUE(GetRequestConfirmationBeforeDownload(on, sw));
}

TEST(Overrides, EachSwitchBelongsToItsKey) {
  using Getter = bool (*)(const SettingsSource&, const OverrideSwitches&);
  const struct {
    int index;
    Getter get;
  } table[] = {
      {1, GetRequestConfirmationBeforeDownload}, {2, GetRequestConfirmationBeforeInstall},
      {3, GetBackgroundUpdate},                  {4, GetInformFinish},
      {5, GetRestartProcess},                    {6, GetRequestConfirmationBeforeDownloadForce},
      {7, GetRequestConfirmationBeforeInstallForce},
  };
  IniText empty;
  for (const auto& row : table) {
    OverrideSwitches sw;
    ASSERT_TRUE(sw.Set(row.index, 1));
    for (const auto& other : table) EXPECT_EQ(other.get(empty, sw), other.index == row.index) << row.index;
  }
}

TEST(Overrides, ListTextRoundTripAndBadTokens) {
  OverrideSwitches sw;
  EXPECT_EQ(sw.ListText(), "|255|255|255|255|255|255|255|255|");
  EXPECT_TRUE(sw.Set(0, 1));
  EXPECT_TRUE(sw.Set(7, 0));
  EXPECT_EQ(sw.ListText(), "|1|255|255|255|255|255|255|0|");
  EXPECT_FALSE(sw.Set(3, 300));  // not truncated to 44
  EXPECT_FALSE(sw.Set(3, -1));
  EXPECT_FALSE(sw.Set(8, 1));
  EXPECT_FALSE(sw.Set(-1, 1));
  EXPECT_EQ(sw.Get(8), 255);
  EXPECT_EQ(sw.ListText(), "|1|255|255|255|255|255|255|0|");

  OverrideSwitches copy;
  copy.SetFromText(sw.ListText());
  EXPECT_EQ(copy.ListText(), sw.ListText());

  OverrideSwitches all;
  all.SetFromText("|0|1|2|3|4|5|6|7|");
  EXPECT_EQ(all.ListText(), "|0|1|2|3|4|5|6|7|");

  OverrideSwitches bad;
  bad.SetFromText("|9|x||300|-1|");  // five tokens, three unusable, three missing
  EXPECT_EQ(bad.ListText(), "|9|255|255|255|255|255|255|255|");
  all.SetFromText("||||||||200|");  // token 7 only
  EXPECT_EQ(all.ListText(), "|0|1|2|3|4|5|6|200|");
  all.SetFromText("12");  // not a list
  all.SetFromText("");
  EXPECT_EQ(all.ListText(), "|0|1|2|3|4|5|6|200|");
}

// ---- file names -------------------------------------------------------------------------

TEST(FileNames, PlainNames) {
  for (const char* ok : {"Update.exe", "setup v2.exe", "a..b.exe", "COM10.exe", "CONSOLE.txt", "COM0", "LPT",
                         "x.y.z", ".hidden", "Ünïcödé.exe"})
    EXPECT_TRUE(IsPlainFileName(ok)) << ok;
  for (const char* bad : {"", ".", "..", "a\\b.exe", "a/b.exe", "C:x.exe", "..\\x.exe", "CON", "con.txt", "Nul",
                          "COM1", "com9.dat", "lpt9.log", "AUX .txt", "PRN.a.b", "x.", "x ", "a\tb", "a\x7f",
                          "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "COM\xB9", "LPT\xB2.txt"})
    EXPECT_FALSE(IsPlainFileName(bad)) << bad;
  EXPECT_TRUE(IsPlainFileName(std::string(255, 'a')));
  EXPECT_FALSE(IsPlainFileName(std::string(256, 'a')));
  EXPECT_FALSE(IsPlainFileName(std::string("a\0b", 3)));
}

TEST(FileNames, UpdateAndInformNamesMustBePlain) {
  EXPECT_EQ(GetNameOfUpdateFile(IniText("[NewSetup]\nNameOfUpdateFile=..\\..\\Windows\\evil.exe\n")), "");
  EXPECT_EQ(GetNameOfUpdateFile(IniText("[NewSetup]\nNameOfUpdateFile=C:\\evil.exe\n")), "");
  EXPECT_EQ(GetNameOfUpdateFile(IniText("[NewSetup]\nNameOfUpdateFile=NUL\n")), "");
  EXPECT_EQ(GetNameOfUpdateFile(IniText("[NewSetup]\nNameOfUpdateFile=\"Update 2.exe\"\n")), "Update 2.exe");
  EXPECT_EQ(GetNameOfInformFile(IniText("[AutoInform]\nNameOfInformFile=../news.rtf\n")), "");
}

TEST(FileNames, AgentFilesFromThePackage) {
  // A package whose header item 1 names the information file.
  auto u32 = [](uint32_t v) {
    std::string s(4, '\0');
    PutU32At(s, 0, v);
    return s;
  };
  const std::string header = "|http://h/x/|upd\\Product.setup.info|Agent.exe|x|0|";
  PackageTrailer t;
  t.Reserved0 = 1;
  t.HeaderStrings = 2;
  t.Magic = kPackageMagic;
  t.Checksum = kNoChecksum;
  t.TrailerLength = kTrailerSize;
  uint8_t raw[kTrailerSize];
  t.ToBytes(raw);
  MemoryFile file(u32(1) + "\x02" + u32(uint32_t(header.size())) + header +
                  std::string(reinterpret_cast<char*>(raw), sizeof raw));
  TGFileInfo package(file);
  ASSERT_TRUE(package.IsValid());
  AgentFiles files = AgentFilesIn("C:\\Apps\\Vabrix", package.GetInfoFileName(), package.GetOriginalSettingsName());
  EXPECT_EQ(files.folder, "C:\\Apps\\Vabrix\\");
  EXPECT_EQ(files.infoFile, "C:\\Apps\\Vabrix\\Product.setup.info");
  EXPECT_EQ(files.originalFile, "C:\\Apps\\Vabrix\\Product.original");

  EXPECT_EQ(FolderOfPath("C:\\Apps\\Vabrix\\X_Agent.exe"), "C:\\Apps\\Vabrix\\");
  EXPECT_EQ(FolderOfPath("Agent.exe"), "");
  files = AgentFilesIn("C:\\A\\", "..", ".original");
  EXPECT_EQ(files.folder, "C:\\A\\");
  EXPECT_EQ(files.infoFile, "");
  EXPECT_EQ(files.originalFile, "");
  EXPECT_EQ(AgentFilesIn("C:\\A\\", "", ".original").infoFile, "");
  EXPECT_EQ(InfoFileTempPath("C:\\A\\P.info"), "C:\\A\\P.info.tmp");
  EXPECT_EQ(InfoFileTempPath(""), "");
}

// ---- seconds ------------------------------------------------------------------------------

TEST(Seconds, KnownDates) {
  EXPECT_EQ(SecondsOf({1899, 12, 30, 0, 0, 0}), 0);
  EXPECT_EQ(SecondsOf({1899, 12, 30, 0, 0, 0}, 499), 0);
  EXPECT_EQ(SecondsOf({1899, 12, 30, 0, 0, 0}, 500), 1);  // nearest second
  EXPECT_EQ(SecondsOf({1899, 12, 29, 23, 59, 59}), -1);
  EXPECT_EQ(SecondsOf({1900, 1, 1, 0, 0, 0}), 172800);
  // 2 days to 1900 + 104 * 365 + 25 leap days to 2004 + 4 days = 37991 days.
  EXPECT_EQ(SecondsOf({2004, 1, 5, 17, 3, 9}), 37991LL * 86400 + 17 * 3600 + 3 * 60 + 9);
  EXPECT_EQ(SecondsOf({2004, 1, 5, 17, 3, 9}), 3282483789LL);
  EXPECT_EQ(SecondsOf({1999, 12, 31, 23, 59, 59}, 999), 36526LL * 86400);  // rounds into 2000
  EXPECT_EQ(SecondsOf({2000, 2, 29, 0, 0, 0}), (36526LL + 59) * 86400);
  EXPECT_FALSE(SecondsOf({1900, 2, 29, 0, 0, 0}));
  EXPECT_FALSE(SecondsOf({2001, 2, 29, 0, 0, 0}));
  EXPECT_FALSE(SecondsOf({2004, 13, 1, 0, 0, 0}));
  EXPECT_FALSE(SecondsOf({2004, 4, 31, 0, 0, 0}));
  EXPECT_FALSE(SecondsOf({2004, 1, 5, 24, 0, 0}));
  EXPECT_FALSE(SecondsOf({2004, 1, 5, 0, 60, 0}));
  EXPECT_FALSE(SecondsOf({2004, 1, 5, 0, 0, 0}, 1000));
  EXPECT_FALSE(SecondsOf({2004, 1, 5, 0, 0, 0}, -1));
  EXPECT_FALSE(SecondsOf({0, 1, 1, 0, 0, 0}));
}

TEST(Seconds, ReadableText) {
  EXPECT_EQ(ReadableSeconds(3282483789LL), "05-JAN-2004 17:03:09");
  EXPECT_EQ(ReadableSeconds(0), "30-DEC-1899 00:00:00");
  EXPECT_EQ(ReadableSeconds(-1), "29-DEC-1899 23:59:59");
  EXPECT_EQ(ReadableSeconds(172800 + 86400 * 31 + 86399), "01-FEB-1900 23:59:59");
  EXPECT_EQ(ReadableSeconds((36526LL + 59) * 86400 + 43200), "29-FEB-2000 12:00:00");
  EXPECT_EQ(DateTextOf({2004, 1, 5}), "05-JAN-2004");  // the test-mode date form
  EXPECT_EQ(ReadableSeconds(INT64_MIN), "");
  EXPECT_EQ(ReadableSeconds(INT64_MAX), "");
}

TEST(Seconds, ProbeDueWithoutOverflow) {
  EXPECT_TRUE(IsProbeDue(100, 40, 60));
  EXPECT_FALSE(IsProbeDue(99, 40, 60));
  EXPECT_TRUE(IsProbeDue(40, 40, 0));  // one probe per run: due at once
  EXPECT_TRUE(IsProbeDue(40, 100, 0));
  EXPECT_TRUE(IsProbeDue(40, 40, -1));
  EXPECT_TRUE(IsProbeDue(INT64_MAX, INT64_MIN, 60));
  EXPECT_TRUE(IsProbeDue(INT64_MAX, -1, INT64_MAX));
  EXPECT_FALSE(IsProbeDue(INT64_MAX, INT64_MAX, 1));  // last + 1 would overflow
  EXPECT_FALSE(IsProbeDue(INT64_MIN, INT64_MIN, INT64_MAX));
  EXPECT_FALSE(IsProbeDue(0, 1, INT64_MAX));
  // Last in the future: a clock put back by an hour waits, a year-ahead value does not.
  EXPECT_FALSE(IsProbeDue(1000000, 1000000 + 3600, 60));
  EXPECT_FALSE(IsProbeDue(1000000, 1000000 + 86400, 60));
  EXPECT_TRUE(IsProbeDue(1000000, 1000000 + 86401, 60));
  EXPECT_TRUE(IsProbeDue(0, INT64_MAX, 60));
  EXPECT_TRUE(IsProbeDue(INT64_MIN, INT64_MAX, INT64_MAX));
}

TEST(Seconds, ReAskDueWithoutOverflow) {
  EXPECT_FALSE(IsReAskDueAt(100, 40, 60));  // strictly more than the interval
  EXPECT_TRUE(IsReAskDueAt(101, 40, 60));
  EXPECT_FALSE(IsReAskDueAt(INT64_MAX, INT64_MIN, 0));  // 0 or less: time never makes it due
  EXPECT_FALSE(IsReAskDueAt(INT64_MAX, INT64_MIN, -5));
  EXPECT_TRUE(IsReAskDueAt(INT64_MAX, INT64_MIN, INT64_MAX));
  EXPECT_FALSE(IsReAskDueAt(INT64_MAX, INT64_MAX - 10, INT64_MAX));
  EXPECT_FALSE(IsReAskDueAt(5, 5 + 86400, 60));
  EXPECT_TRUE(IsReAskDueAt(5, 5 + 86401, 60));
  EXPECT_TRUE(IsReAskDueAt(INT64_MIN, INT64_MAX, 1));
}

// ---- setters ------------------------------------------------------------------------------

TEST(Setters, WriteNumbersAndReadableCopies) {
  IniText o("[OriginalSetup]\nProgramName=Keep\n");
  SecondsFloor floor;
  EXPECT_TRUE(SetProbeSecondsInterval(o, 3600));
  EXPECT_TRUE(SetProbeSecondsLast(o, 3282483789LL, floor));
  EXPECT_TRUE(SetReAskSecondsInterval(o, -1));
  EXPECT_TRUE(SetReAskSecondsLast(o, 172800));
  EXPECT_TRUE(SetVersionOriginal(o, 205));
  EXPECT_TRUE(SetOriginalStamp(o, -9));
  EXPECT_EQ(o.Text(),
            "[OriginalSetup]\nProgramName=Keep\nProbeSecondsInterval=3600\r\nProbeSecondsLast=3282483789\r\n"
            "__ProbeSecondsLast=05-JAN-2004 17:03:09\r\nReAskSecondsInterval=-1\r\nReAskSecondsLast=172800\r\n"
            "__ReAskSecondsLast=01-JAN-1900 00:00:00\r\nVersionOriginal=205\r\nStamp=-9\r\n");
  EXPECT_EQ(GetProbeSecondsInterval(o), 3600);
  EXPECT_EQ(GetProbeSecondsLast(o, SecondsFloor()), 3282483789LL);
  EXPECT_EQ(GetReAskSecondsInterval(o), -1);
  EXPECT_EQ(GetReAskSecondsLast(o), 172800);
  EXPECT_EQ(GetVersionOriginal(o), 205);
  EXPECT_EQ(GetOriginalStamp(o), -9);
  EXPECT_EQ(GetOriginalProgramName(o), "Keep");
}

TEST(Setters, FailedProbeWriteStillMovesTheLastProbe) {
  ReadOnlyStore locked("[OriginalSetup]\nProbeSecondsLast=100\n");
  SecondsFloor floor;
  EXPECT_EQ(GetProbeSecondsLast(locked, floor), 100);
  EXPECT_FALSE(SetProbeSecondsLast(locked, 5000, floor));
  EXPECT_EQ(GetProbeSecondsLast(locked, floor), 5000);
  EXPECT_FALSE(IsProbeDue(5030, GetProbeSecondsLast(locked, floor), 60));

  // A later value in the file wins; a value set lower on purpose is taken as set.
  IniText o("[OriginalSetup]\nProbeSecondsLast=100\n");
  SecondsFloor f2;
  EXPECT_TRUE(SetProbeSecondsLast(o, 5000, f2));
  EXPECT_TRUE(o.Write("OriginalSetup", "ProbeSecondsLast", "9000"));
  EXPECT_EQ(GetProbeSecondsLast(o, f2), 9000);
  EXPECT_TRUE(SetProbeSecondsLast(o, 0, f2));
  EXPECT_EQ(GetProbeSecondsLast(o, f2), 0);
}

// ---- test mode -----------------------------------------------------------------------------

TEST(TestMode, OnOnlyWithTodaysDate) {
  EXPECT_TRUE(TestModeOn("1", "05-JAN-2004", "05-JAN-2004"));
  EXPECT_FALSE(TestModeOn("1", "04-JAN-2004", "05-JAN-2004"));  // yesterday
  EXPECT_FALSE(TestModeOn("yes", "05-JAN-2004", "05-JAN-2004"));
  EXPECT_FALSE(TestModeOn("0", "05-JAN-2004", "05-JAN-2004"));
  EXPECT_FALSE(TestModeOn("1", "", ""));
  EXPECT_FALSE(TestModeOn("1", "05-JAN-2004 00:00:00", "05-JAN-2004"));
}

TEST(TestMode, ReadsAgainWhenDue) {
  FakeRegistry reg;
  reg.values = {{"TestMode", "1"}, {"TestModeDate", "05-JAN-2004"}, {"TestModeURL", "C:\\TestSource\\"}};
  TestModeState state;
  EXPECT_TRUE(state.IsTestMode(false, 5000, "05-JAN-2004", reg));  // the first call always reads
  EXPECT_EQ(reg.lastSection, "HKEY_CURRENT_USER\\Software\\Dravonel\\Vabrix\\AutoUpdate");
  EXPECT_EQ(state.Location(), "C:\\TestSource\\");
  const int firstReads = reg.reads;
  EXPECT_GT(firstReads, 0);

  // A caller asking every second still sees a change after 30 s.
  reg.values["TestMode"] = "0";
  for (uint32_t t = 6000; t <= 35000; t += 1000) {
    EXPECT_TRUE(state.IsTestMode(false, t, "05-JAN-2004", reg)) << t;
  }
  EXPECT_EQ(reg.reads, firstReads);  // 35000 - 5000 is not more than 30000
  EXPECT_FALSE(state.IsTestMode(false, 35001, "05-JAN-2004", reg));
  EXPECT_EQ(state.Location(), "");
  EXPECT_GT(reg.reads, firstReads);

  reg.values["TestMode"] = "1";
  EXPECT_FALSE(state.IsTestMode(false, 36000, "05-JAN-2004", reg));
  EXPECT_TRUE(state.IsTestMode(true, 36000, "05-JAN-2004", reg));  // forced
  // Yesterday's date switches it off at the next read.
  EXPECT_FALSE(state.IsTestMode(true, 36001, "06-JAN-2004", reg));
}

TEST(TestMode, TickWrapIsHandled) {
  FakeRegistry reg;
  reg.values = {{"TestMode", "1"}, {"TestModeDate", "05-JAN-2004"}};
  TestModeState state;
  const uint32_t start = 0xFFFFF000u;
  EXPECT_TRUE(state.IsTestMode(false, start, "05-JAN-2004", reg));
  reg.values["TestMode"] = "0";
  EXPECT_TRUE(state.IsTestMode(false, 0x1000u, "05-JAN-2004", reg));  // 8192 ms later, across the wrap
  EXPECT_FALSE(state.IsTestMode(false, uint32_t(start + 30001u), "05-JAN-2004", reg));
}
