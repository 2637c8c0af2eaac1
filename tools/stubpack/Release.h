// Signed releases on the builder's side: the vendor's public key files, the signed
// information file that `stubpack release` writes, and its check by `stubpack verify`.
// The file format itself is agent/SignedInfo.h; the cryptography is Crypto.h.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The base64 text of a PEM block with the given label ("PUBLIC KEY"): the lines
// between "-----BEGIN label-----" and "-----END label-----", decoded strictly.
bool PemBlock(const std::string& text, const std::string& label, std::string& der);

// A P-256 public key file (SubjectPublicKeyInfo PEM) as its DER; keys of another
// curve or form are refused with a message.
bool ReadPublicKeyFile(const std::string& path, std::string& spki, std::string& error);
// The key a package header carries (TGFileInfo::GetUpdateKey) as its DER.
bool SpkiOfUpdateKeyItem(const std::string& item, std::string& spki, std::string& error);
// SHA-256 hex of the SubjectPublicKeyInfo DER: how a key is named in listings.
std::string KeyFingerprint(const std::string& spki);

// One key that the release writes into its section, replacing the template's value.
struct InfoSetting {
  std::string section, key, value;
};

// The information file without its signature: the template's keys of [NewSetup],
// [AutoInform] and [General] (in that order, other sections dropped, the first of
// a repeated key kept as an INI reader keeps it), each setting written over the
// template's value in place or added after the template's keys. Lines end in CR LF;
// a blank line follows every section. Fails on a section the template repeats and
// on a value with a line break.
bool ComposeInfoText(const std::string& templateText, const std::vector<InfoSetting>& settings, std::string& text,
                     std::string& error);

struct ReleaseOptions {
  std::string keyPath, setupPath, downloadLocation, outputPath;
  int64_t version = 0;
  int64_t stamp = 0;
  std::string templatePath, agentPath, validVersions, shutDownMethod, runningProcess;
  bool confirmDownload = false, confirmInstall = false;
  std::string informPath, informLocation;
};

// Writes the signed information file (under a temporary name first). notes gets
// what is worth telling but does not stop the release.
bool WriteRelease(const ReleaseOptions& options, std::vector<std::string>& notes, std::string& error);

struct VerifyReport {
  std::vector<std::string> failures;  // empty: valid
  std::vector<std::string> notes;     // what was checked, what could not be
};
// Checks the signature of the information file at infoPath against the key, then the
// size and digest of the update and inform files it names when they lie beside it.
VerifyReport VerifyRelease(const std::string& infoPath, const std::string& spki);
