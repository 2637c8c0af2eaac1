#include "Release.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "Crypto.h"
#include "OutFile.h"
#include "agent/AgentSettings.h"
#include "agent/SignedInfo.h"
#include "agent/UpdateCycle.h"
#include "package/PackageReader.h"
#include "util/Files.h"
#include "util/SeparatorLists.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxKeyFile = 64 * 1024;
constexpr size_t kMaxTemplate = kMaxSignedInfoSize;
const char* const kKeptSections[] = {"NewSetup", "AutoInform", "General"};

// The whole file if it has at most max bytes.
bool ReadSmallFile(const std::string& path, size_t max, std::string& bytes, std::string& error) {
  bytes.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = "cannot read " + path;
    return false;
  }
  char chunk[16384];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && bytes.size() <= max) bytes.append(chunk, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) error = "cannot read " + path;
  if (ok && bytes.size() > max) {
    error = path + " is larger than " + IntToStr(int64_t(max / 1024)) + " KB";
    ok = false;
  }
  return ok;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

struct Section {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
};

// Facts about one file the information file names.
struct NamedFile {
  std::string name;
  uint64_t size = 0;
  std::string digestHex;
};

bool DescribeFile(const std::string& path, NamedFile& file, std::string& error) {
  std::error_code ec;
  file.name = fs::path(path).filename().string();
  if (!fs::is_regular_file(path, ec)) {
    error = "cannot read " + path;
    return false;
  }
  file.size = fs::file_size(path, ec);
  std::string digest;
  if (ec || !FileSha256(path, digest, error)) {
    if (error.empty()) error = "cannot read " + path;
    return false;
  }
  file.digestHex = HexOf(digest);
  if (!IsPlainFileName(file.name)) {
    error = "'" + file.name + "' is not a plain file name, which the agent refuses";
    return false;
  }
  return true;
}

// The update or inform file named by the signed text, checked when it lies beside it.
void CheckNamedFile(const std::string& folder, const std::string& what, const std::string& name, int64_t size,
                    const std::string& digestHex, const std::string& digestKey, VerifyReport& report) {
  if (name.empty()) return;
  if (digestHex.empty()) {
    report.failures.push_back(digestKey + " is missing or not 64 hex digits (the " + what + " " + name + ")");
    return;
  }
  fs::path beside = fs::path(folder) / name;
  std::error_code ec;
  if (!fs::is_regular_file(beside, ec)) {
    report.notes.push_back(what + " " + name + " is not beside the information file: not checked");
    return;
  }
  NamedFile actual;
  std::string error;
  if (!DescribeFile(beside.string(), actual, error)) {
    report.failures.push_back(error);
    return;
  }
  if (int64_t(actual.size) != size)
    report.failures.push_back(what + " " + name + " has " + IntToStr(int64_t(actual.size)) + " bytes, the file says " +
                              IntToStr(size));
  if (actual.digestHex != digestHex)
    report.failures.push_back(what + " " + name + " has the SHA-256 " + actual.digestHex + ", the file says " +
                              digestHex);
  if (int64_t(actual.size) == size && actual.digestHex == digestHex)
    report.notes.push_back(what + " " + name + ": size and SHA-256 match");
}

}  // namespace

bool PemBlock(const std::string& text, const std::string& label, std::string& der) {
  der.clear();
  const std::string begin = "-----BEGIN " + label + "-----", end = "-----END " + label + "-----";
  std::string body;
  bool inside = false, closed = false;
  for (size_t at = 0; at < text.size() && !closed;) {
    size_t lf = text.find('\n', at);
    if (lf == std::string::npos) lf = text.size();
    std::string line = Trim(text.substr(at, lf - at));
    at = lf + 1;
    if (!inside) {
      inside = line == begin;
    } else if (line == end) {
      closed = true;
    } else {
      body += line;
    }
  }
  return closed && Base64Decode(body, der);
}

bool ReadPublicKeyFile(const std::string& path, std::string& spki, std::string& error) {
  spki.clear();
  std::string text, der, point;
  if (!ReadSmallFile(path, kMaxKeyFile, text, error)) return false;
  if (!PemBlock(text, "PUBLIC KEY", der)) {
    error = path + " holds no PEM public key (-----BEGIN PUBLIC KEY-----)";
    return false;
  }
  if (!SpkiToP256Point(der, point)) {
    error = path + " is not an ECDSA P-256 public key (another curve, another algorithm or a compressed point)";
    return false;
  }
  if (!CheckPublicKey(der, error)) {
    error = path + ": " + error;
    return false;
  }
  spki = der;
  return true;
}

bool SpkiOfUpdateKeyItem(const std::string& item, std::string& spki, std::string& error) {
  std::string der, point;
  spki.clear();
  if (item.empty()) {
    error = "no update key";
    return false;
  }
  if (!Base64Decode(item, der) || !SpkiToP256Point(der, point) || !CheckPublicKey(der, error)) {
    error = "the update key is not the base64 of a P-256 public key";
    return false;
  }
  spki = der;
  return true;
}

std::string KeyFingerprint(const std::string& spki) { return HexOf(BytesSha256(spki)); }

bool ComposeInfoText(const std::string& templateText, const std::vector<InfoSetting>& settings, std::string& text,
                     std::string& error) {
  text.clear();
  std::vector<Section> sections;
  for (const char* name : kKeptSections) sections.push_back({name, {}});
  bool seen[3] = {};
  Section* current = nullptr;
  for (size_t at = 0, lineNo = 1; at < templateText.size(); ++lineNo) {
    size_t lf = templateText.find('\n', at);
    if (lf == std::string::npos) lf = templateText.size();
    std::string line = Trim(templateText.substr(at, lf - at));
    at = lf + 1;
    if (line.empty() || line[0] == ';') continue;
    size_t close = line[0] == '[' ? line.find(']') : std::string::npos;
    if (close != std::string::npos) {
      std::string name = Trim(line.substr(1, close - 1));
      current = nullptr;
      for (int i = 0; i < 3; ++i) {
        if (!SameText(name, kKeptSections[i])) continue;
        // An INI reader would read only the first: the second's keys would be lost.
        if (seen[i]) {
          error = "template line " + IntToStr(int64_t(lineNo)) + ": [" + name + "] appears a second time";
          return false;
        }
        seen[i] = true;
        current = &sections[size_t(i)];
      }
      continue;
    }
    size_t eq = line.find('=');
    if (!current || eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    bool known = key.empty();
    for (const auto& kv : current->keys) known = known || SameText(kv.first, key);
    if (!known) current->keys.emplace_back(key, value);
  }
  for (const InfoSetting& s : settings) {
    if (HasLineBreak(s.value)) {
      error = "the value of " + s.key + " holds a line break";
      return false;
    }
    Section* target = nullptr;
    for (Section& section : sections)
      if (SameText(section.name, s.section)) target = &section;
    if (!target) {
      error = "internal error: no section [" + s.section + "]";
      return false;
    }
    bool replaced = false;
    for (auto& kv : target->keys) {
      if (!SameText(kv.first, s.key)) continue;
      kv = {s.key, s.value};
      replaced = true;
    }
    if (!replaced) target->keys.emplace_back(s.key, s.value);
  }
  for (const Section& section : sections) {
    if (section.keys.empty()) continue;
    text += "[" + section.name + "]\r\n";
    for (const auto& kv : section.keys) text += kv.first + "=" + kv.second + "\r\n";
    text += "\r\n";
  }
  return true;
}

bool WriteRelease(const ReleaseOptions& o, std::vector<std::string>& notes, std::string& error) {
  notes.clear();
  if (o.outputPath.empty() || o.keyPath.empty() || o.setupPath.empty() || o.downloadLocation.empty()) {
    error = "a release needs --key, --setup, --download-location and -o";
    return false;
  }
  TGFileInfo setup(o.setupPath);
  if (!setup.IsValid()) {
    error = o.setupPath + " is not a setup file that the stub can read";
    return false;
  }
  NamedFile update, inform;
  if (!DescribeFile(o.setupPath, update, error)) return false;
  if (!o.informPath.empty() && !DescribeFile(o.informPath, inform, error)) return false;

  std::string agentKey;
  if (!o.agentPath.empty()) {
    TGFileInfo agent(o.agentPath);
    if (!agent.IsValid()) {
      error = o.agentPath + " is not an agent (or setup) file that the stub can read";
      return false;
    }
    // The agent downloads the update and refuses it unless the tokens match.
    if (!TokensMatch(setup.GetPackageToken(false), agent.GetPackageToken(false))) {
      error = "the token of " + o.setupPath + " differs from that of the agent " + o.agentPath +
              ": the agent would refuse the update";
      return false;
    }
    if (!agent.GetUpdateKey().empty() && !SpkiOfUpdateKeyItem(agent.GetUpdateKey(), agentKey, error)) {
      error = o.agentPath + ": " + error;
      return false;
    }
    if (agentKey.empty())
      notes.push_back("the agent " + o.agentPath + " carries no update key: it cannot check this signature");
    std::string infoName = fs::path(o.outputPath).filename().string();
    if (!SameText(agent.GetInfoFileName(), infoName))
      notes.push_back("the agent fetches " + agent.GetInfoFileName() + ", not " + infoName);
  }
  if (!o.shutDownMethod.empty() && ShutDownMethodOf(o.shutDownMethod) == ShutDownMethod::WaitOnly) {
    error = "--shutdown-method must be one of \"Issue a Message Box\", \"Using WM_CLOSE\", \"Using WM_QUIT\", "
            "\"Using Terminate Process\", \"Don't Shut Down\"";
    return false;
  }

  std::string templateText;
  if (!o.templatePath.empty() && !ReadSmallFile(o.templatePath, kMaxTemplate, templateText, error)) return false;

  std::vector<InfoSetting> settings = {
      {"NewSetup", "DownloadURL_UPDATE", o.downloadLocation},
      {"NewSetup", "NameOfUpdateFile", update.name},
      {"NewSetup", "SizeOfUpdateFile", IntToStr(int64_t(update.size))},
      {"NewSetup", "SHA256OfUpdateFile", update.digestHex},
      {"NewSetup", "VersionNew", IntToStr(o.version)},
      {"NewSetup", "Stamp", IntToStr(o.stamp)},
  };
  if (!o.validVersions.empty()) settings.push_back({"NewSetup", "ValidVersions", o.validVersions});
  if (!o.shutDownMethod.empty()) settings.push_back({"NewSetup", "ShutDownMethod", o.shutDownMethod});
  if (!o.runningProcess.empty()) settings.push_back({"NewSetup", "RunningProcess", o.runningProcess});
  if (o.confirmDownload) settings.push_back({"NewSetup", "RequestConfirmationBeforeDownload", "1"});
  if (o.confirmInstall) settings.push_back({"NewSetup", "RequestConfirmationBeforeInstall", "1"});
  if (!o.informPath.empty()) {
    settings.push_back({"AutoInform", "NameOfInformFile", inform.name});
    settings.push_back({"AutoInform", "SizeOfInformFile", IntToStr(int64_t(inform.size))});
    settings.push_back({"AutoInform", "SHA256OfInformFile", inform.digestHex});
  }
  if (!o.informLocation.empty()) settings.push_back({"AutoInform", "DownloadURL_INFORM", o.informLocation});

  std::string body;
  if (!ComposeInfoText(templateText, settings, body, error)) return false;
  std::string signature, spki;
  if (!SignWithKeyFile(o.keyPath, body, signature, spki, error)) return false;
  if (!agentKey.empty() && agentKey != spki) {
    error = "the agent " + o.agentPath + " carries another update key (" + KeyFingerprint(agentKey) +
            ") than " + o.keyPath + " (" + KeyFingerprint(spki) + ")";
    return false;
  }
  std::string file = body + SignatureSection(signature);
  SignedInfoParts parts;
  if (SplitSignedInfo(file, parts) != SignedInfoError::None || parts.signedBytes != body) {
    error = "internal error: the signed file does not read back";
    return false;
  }
  OutFile out;
  if (!out.Open(o.outputPath, error)) return false;
  if (!out.Write(file.data(), file.size())) {
    error = "cannot write " + out.TempPath();
    return false;
  }
  if (!out.Commit(error)) return false;
  notes.push_back("signed by the key " + KeyFingerprint(spki));
  return true;
}

VerifyReport VerifyRelease(const std::string& infoPath, const std::string& spki) {
  VerifyReport report;
  std::string file, error;
  if (!ReadSmallFile(infoPath, kMaxSignedInfoSize, file, error)) {
    report.failures.push_back(error);
    return report;
  }
  SignedInfoParts parts;
  SignedInfoError split = SplitSignedInfo(file, parts);
  if (split != SignedInfoError::None) {
    report.failures.push_back(SignedInfoErrorText(split));
    return report;
  }
  if (!VerifySignature(spki, parts.signedBytes, parts.signature)) {
    report.failures.push_back("the signature does not match: the file was changed after signing, or another key "
                              "signed it (this key is " + KeyFingerprint(spki) + ")");
    return report;
  }
  report.notes.push_back("signature valid, key " + KeyFingerprint(spki));
  // What the agent reads is the signed part, through its own reader.
  IniText info(parts.signedBytes);
  std::string folder = fs::path(infoPath).parent_path().string();
  if (folder.empty()) folder = ".";
  CheckNamedFile(folder, "update file", GetNameOfUpdateFile(info), GetSizeOfUpdateFile(info),
                 GetSHA256OfUpdateFile(info), "SHA256OfUpdateFile", report);
  CheckNamedFile(folder, "inform file", GetNameOfInformFile(info), GetSizeOfInformFile(info),
                 GetSHA256OfInformFile(info), "SHA256OfInformFile", report);
  return report;
}
