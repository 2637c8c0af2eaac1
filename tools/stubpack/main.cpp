// stubpack: builds setup files, spanned piece sets, internet stubs and agent files
// for the setup stub, and lists them as the stub reads them.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "Crypto.h"
#include "PackageLister.h"
#include "PackageWriter.h"
#include "Release.h"
#include "agent/SignedInfo.h"
#include "util/SeparatorLists.h"

namespace {

const char kHelp[] =
    "usage: stubpack build [options] -o OUTPUT [FILE|FOLDER|PATH=NAME]...\n"
    "       stubpack list [--json] [--raw] FILE\n"
    "       stubpack keygen -o NAME\n"
    "       stubpack release --key KEY --setup FILE --version N --download-location URL\n"
    "                        [options] -o INFO\n"
    "       stubpack verify INFO (--key PUB | --agent AGENT)\n"
    "\n"
    "build writes a setup file: the stub, its header strings, one record per file and\n"
    "the trailer, with the logical length stamped into the stub's header. A FOLDER adds\n"
    "every file in it (a package holds plain file names, no subfolders); PATH=NAME packs\n"
    "PATH under another name.\n"
    "\n"
    "  -o, --output FILE         the setup file (or the first piece) to write\n"
    "  --stub FILE               the stub executable (Stub.exe)\n"
    "  --main NAME               the packed file that is the main program (Engine.exe)\n"
    "  --main-args TEXT          extra arguments for the main program\n"
    "  --level N                 zlib level 0..9 (default 9)\n"
    "  --store                   store the files without compression\n"
    "  --date WHEN               date of every file: Unix seconds or YYYY-MM-DD[THH:MM[:SS]]\n"
    "                            (UTC); SOURCE_DATE_EPOCH is the default when set\n"
    "  --languages FILE          language blocks: [Language] lines, then key=value lines;\n"
    "                            a UTF-8 file (BOM or not) is written block by block in\n"
    "                            the code page of the block's Charset (0 = 1252, 204 =\n"
    "                            1251, 177 = 1255, 128 = 932, ...; others Latin-1), and a\n"
    "                            character that does not fit is an error; any other file\n"
    "                            is taken byte for byte\n"
    "  --info-location URL       base location of the information file (default http:)\n"
    "  --info-file NAME          information file name (default .info)\n"
    "  --agent-name NAME         auto-update agent file name (default .exe)\n"
    "  --token TEXT              the package's secret token (stored scrambled)\n"
    "  --hidden                  the setup runs hidden, without window and questions\n"
    "  --update-key PUB          the vendor's public key (P-256, PEM) that the agent checks\n"
    "                            signed information files with\n"
    "\n"
    "  --piece-size SIZE         write a spanned set of pieces of at most SIZE bytes\n"
    "                            (k, M, G suffixes): OUTPUT, OUTPUT.002, OUTPUT.003, ...\n"
    "  --number-first-piece      name the first piece OUTPUT.001\n"
    "  --internet                write an internet stub (no files; needs --download-*)\n"
    "  --agent                   write an auto-update agent file (no files)\n"
    "  --download-location URL   folder URL of the setup file to download\n"
    "  --download-name NAME      file name of the setup file to download\n"
    "  --download-token TEXT     secret token of the setup file to download\n"
    "  --download-size BYTES     size of the setup file to download\n"
    "  --download-of FILE        take name, size, SHA-256 and download token from that\n"
    "                            setup file\n"
    "  --download-file FILE      take the SHA-256 (and, unless given, the size) of that file\n"
    "  --always-download         download even when the file lies beside the stub\n"
    "\n"
    "  --announce-temp-drive     ask before extracting, naming the temp drive\n"
    "  --show-activity-bar       show the activity bar during extraction\n"
    "  --agent-log               an agent made from this package writes its log\n"
    "  --confirm-download        ask before an internet download\n"
    "  --create-agent            the setup run writes the auto-update agent\n"
    "  --flags N                 the trailer's flag byte as a number\n"
    "  --header-strings N        stored HeaderStrings value (2 or 3; 0 reads as 2)\n"
    "  --space-needed N[,N...]   SpaceNeeded: one value for all nine, or nine values\n"
    "  --checksum N              store this checksum instead of the computed one\n"
    "  --no-crc                  write no CRC-32 (trailer bytes 20..27 stay 0, as in\n"
    "                            packages of older builders)\n"
    "  --crc N                   store this CRC-32 on every piece instead of the computed one\n"
    "  --trailer-byte OFF=VALUE  set any trailer byte last (repeatable)\n"
    "\n"
    "list prints the trailer of every piece, the header items (token unscrambled), the\n"
    "language blocks and the records; --json prints the same as one JSON document.\n"
    "Each piece's CRC-32 is checked: shown as matching, as a MISMATCH (a problem), or\n"
    "as none (older packages, or trailer bytes 20..27 of another builder).\n"
    "Texts are shown in UTF-8: a language block's from the code page of its Charset,\n"
    "file names and header items from that of the block the stub picks on an English\n"
    "system (the English block, else the only one), else 1252. A byte that is no\n"
    "character of its code page, and a control character but tab, shows as U+FFFD\n"
    "(JSON escapes control characters). --raw prints the bytes as stored (JSON: as\n"
    "Latin-1).\n"
    "\n"
    "keygen writes NAME.key (the private key, PKCS#8 PEM, mode 0600; on Windows readable\n"
    "by the current user alone) and NAME.pub (the public key, PEM) of a new ECDSA P-256\n"
    "key pair; it never overwrites a file.\n"
    "\n"
    "release writes a signed information file INFO for the update package FILE:\n"
    "  --key KEY                 the private key that signs it\n"
    "  --setup FILE              the update package (name, size and SHA-256 go in)\n"
    "  --version N               VersionNew\n"
    "  --download-location URL   DownloadURL_UPDATE, where FILE is published\n"
    "  --template INI            keys of [NewSetup], [AutoInform], [General] to keep\n"
    "  --agent AGENT             the installed agent: its token must match FILE's, and\n"
    "                            its update key KEY's\n"
    "  --valid-versions L        ValidVersions (comma-separated version numbers)\n"
    "  --shutdown-method M       ShutDownMethod\n"
    "  --running-process P       RunningProcess\n"
    "  --confirm-download        RequestConfirmationBeforeDownload=1\n"
    "  --confirm-install         RequestConfirmationBeforeInstall=1\n"
    "  --inform-file F           the inform file (name, size and SHA-256 go in)\n"
    "  --inform-location URL     DownloadURL_INFORM\n"
    "Stamp is SOURCE_DATE_EPOCH when set, else now; the file is the same for the same\n"
    "inputs but for the signature (ECDSA signatures differ every time).\n"
    "\n"
    "verify checks the signature of INFO with the public key PUB or the key that AGENT\n"
    "carries, and the size and SHA-256 of the files it names that lie beside it.\n"
    "\n"
    "Exit code 0 on success, 1 on an error, 2 on a usage error; list exits 1 when the\n"
    "file carries no readable package or shows a problem, verify 1 when INFO is not\n"
    "valid.\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "stubpack: %s (see stubpack --help)\n", why.c_str());
  return 2;
}

bool ParseUnsigned(const std::string& text, uint64_t& value, bool sizeSuffix = false) {
  std::string t = Trim(text);
  uint64_t scale = 1;
  if (sizeSuffix && !t.empty()) {
    char last = char(std::toupper(static_cast<unsigned char>(t.back())));
    scale = last == 'K' ? 1024 : last == 'M' ? 1024 * 1024 : last == 'G' ? 1024 * 1024 * 1024 : 1;
    if (scale > 1) t.pop_back();
  }
  int64_t v;
  if (t.empty() || t[0] == '-' || t[0] == '+' || !TryParseInt64(t, v)) return false;
  if (uint64_t(v) > UINT64_MAX / scale) return false;
  value = uint64_t(v) * scale;
  return true;
}

// Unix seconds from digits or an ISO date (UTC).
bool ParseDate(const std::string& text, int64_t& seconds) {
  if (TryParseInt64(Trim(text), seconds)) return true;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char sep = 0;
  int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &y, &mo, &d, &sep, &h, &mi, &s);
  if (n != 3 && n < 6) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
  // Days from civil (proleptic Gregorian).
  y -= mo <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = unsigned(y - era * 400);
  unsigned doy = (153 * unsigned(mo + (mo > 2 ? -3 : 9)) + 2) / 5 + unsigned(d) - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  seconds = (era * 146097 + int64_t(doe) - 719468) * 86400 + h * 3600 + mi * 60 + s;
  return true;
}

bool ReadTextFile(const std::string& path, std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    text.append(buf, n);
    if (text.size() > 16u * 1024 * 1024) break;
  }
  bool ok = !std::ferror(f) && text.size() <= 16u * 1024 * 1024;
  std::fclose(f);
  return ok;
}

uint64_t Fnv(uint64_t h, const std::string& s) {
  for (unsigned char c : s) h = (h ^ c) * 0x100000001B3ull;
  return (h ^ 0xFF) * 0x100000001B3ull;
}

bool AddInput(const std::string& arg, std::vector<PackedFile>& files, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  size_t eq = arg.rfind('=');
  if (eq != std::string::npos && eq > 0 && !fs::exists(arg, ec)) {
    files.push_back({arg.substr(0, eq), arg.substr(eq + 1), "", false, {}});
    return true;
  }
  if (fs::is_directory(arg, ec)) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(arg, ec)) {
      if (entry.is_directory(ec)) {
        error = arg + " holds the folder " + entry.path().filename().string() + ", which a package cannot hold";
        return false;
      }
      names.push_back(entry.path().filename().string());
    }
    if (ec) {
      error = "cannot read the folder " + arg;
      return false;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) files.push_back({(fs::path(arg) / name).string(), name, "", false, {}});
    return true;
  }
  files.push_back({arg, fs::path(arg).filename().string(), "", false, {}});
  return true;
}

int Build(int argc, char** argv) {
  BuildOptions o;
  std::string mainName, mainArgs, languagesFile, downloadOf, downloadFile, updateKeyFile;
  bool anyDownloadOption = false;
  uint64_t seed = 0xCBF29CE484222325ull;
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    int64_t s;
    if (!TryParseInt64(epoch, s)) return Usage("SOURCE_DATE_EPOCH is not a number of seconds");
    o.fixedDate = s;
  }
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    auto number = [&](uint64_t& out, uint64_t max, bool sizes = false) {
      std::string v;
      return value(v) && ParseUnsigned(v, out, sizes) && out <= max;
    };
    std::string v;
    uint64_t n = 0;
    if (a == "-o" || a == "--output") {
      if (!value(o.outputPath)) return Usage("-o needs a file");
    } else if (a == "--stub") {
      if (!value(o.stubPath)) return Usage("--stub needs a file");
    } else if (a == "--main") {
      if (!value(mainName)) return Usage("--main needs a name");
    } else if (a == "--main-args") {
      if (!value(mainArgs)) return Usage("--main-args needs a text");
    } else if (a == "--level") {
      if (!number(n, 9)) return Usage("--level needs 0 to 9");
      o.level = int(n);
    } else if (a == "--store") {
      o.store = true;
    } else if (a == "--date") {
      int64_t s;
      if (!value(v) || !ParseDate(v, s)) return Usage("--date needs Unix seconds or YYYY-MM-DD[THH:MM[:SS]]");
      o.fixedDate = s;
    } else if (a == "--languages") {
      if (!value(languagesFile)) return Usage("--languages needs a file");
    } else if (a == "--info-location") {
      if (!value(o.infoLocation)) return Usage("--info-location needs a text");
    } else if (a == "--info-file") {
      if (!value(o.infoFileName)) return Usage("--info-file needs a name");
    } else if (a == "--agent-name") {
      if (!value(o.agentName)) return Usage("--agent-name needs a name");
    } else if (a == "--token") {
      if (!value(o.token)) return Usage("--token needs a text");
    } else if (a == "--hidden") {
      o.hiddenRun = true;
    } else if (a == "--update-key") {
      if (!value(updateKeyFile)) return Usage("--update-key needs a public key file");
    } else if (a == "--piece-size") {
      if (!number(o.pieceSize, UINT64_MAX, true) || o.pieceSize == 0) return Usage("--piece-size needs a size");
    } else if (a == "--number-first-piece") {
      o.numberFirstPiece = true;
    } else if (a == "--internet") {
      o.kind = OutputKind::Internet;
    } else if (a == "--agent") {
      o.kind = OutputKind::Agent;
    } else if (a == "--download-location") {
      if (!value(o.downloadLocation)) return Usage("--download-location needs a URL");
      anyDownloadOption = true;
    } else if (a == "--download-name") {
      if (!value(o.downloadFileName)) return Usage("--download-name needs a name");
      anyDownloadOption = true;
    } else if (a == "--download-token") {
      if (!value(o.downloadToken)) return Usage("--download-token needs a text");
      anyDownloadOption = true;
    } else if (a == "--download-size") {
      if (!number(n, UINT64_MAX)) return Usage("--download-size needs a number of bytes");
      o.downloadSize = IntToStr(int64_t(n));
      anyDownloadOption = true;
    } else if (a == "--download-of") {
      if (!value(downloadOf)) return Usage("--download-of needs a setup file");
      anyDownloadOption = true;
    } else if (a == "--download-file") {
      if (!value(downloadFile)) return Usage("--download-file needs a file");
      anyDownloadOption = true;
    } else if (a == "--always-download") {
      o.alwaysDownload = true;
      anyDownloadOption = true;
    } else if (a == "--announce-temp-drive") {
      o.trailer.Flags |= kFlagAnnounceTempDrive;
    } else if (a == "--show-activity-bar") {
      o.trailer.Flags |= kFlagShowActivityBar;
    } else if (a == "--agent-log") {
      o.trailer.Flags |= kFlagAgentLogOn;
    } else if (a == "--confirm-download") {
      o.trailer.ConfirmDownload = 1;
    } else if (a == "--create-agent") {
      o.trailer.CreateAgent = 1;
    } else if (a == "--flags") {
      if (!number(n, 255)) return Usage("--flags needs 0 to 255");
      o.trailer.Flags = uint8_t(n);
    } else if (a == "--header-strings") {
      if (!number(n, 255)) return Usage("--header-strings needs 0 to 255");
      o.headerStrings = uint8_t(n);
    } else if (a == "--space-needed") {
      if (!value(v)) return Usage("--space-needed needs values");
      std::vector<uint32_t> values;
      for (size_t at = 0; at <= v.size();) {
        size_t comma = std::min(v.find(',', at), v.size());
        if (!ParseUnsigned(v.substr(at, comma - at), n) || n > UINT32_MAX)
          return Usage("--space-needed values must be 0 to 4294967295");
        values.push_back(uint32_t(n));
        at = comma + 1;
      }
      if (values.size() != 1 && values.size() != 9) return Usage("--space-needed takes one value or nine");
      o.spaceNeeded = values;
    } else if (a == "--checksum") {
      if (!number(n, UINT32_MAX)) return Usage("--checksum needs a 32-bit number");
      o.checksum = uint32_t(n);
    } else if (a == "--no-crc") {
      o.pieceCrc = false;
    } else if (a == "--crc") {
      if (!number(n, UINT32_MAX)) return Usage("--crc needs a 32-bit number");
      o.storedPieceCrc = uint32_t(n);
    } else if (a == "--trailer-byte") {
      uint64_t offset, byte;
      if (!value(v) || v.find('=') == std::string::npos || !ParseUnsigned(LeftOf(v, "=", ""), offset) ||
          !ParseUnsigned(RightOf(v, "=", ""), byte) || offset >= kTrailerSize || byte > 255)
        return Usage("--trailer-byte needs OFFSET=VALUE with OFFSET below 74 and VALUE below 256");
      o.trailerBytes.push_back({unsigned(offset), uint8_t(byte)});
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return Usage("unknown option " + a);
    } else {
      std::string error;
      if (!AddInput(a, o.files, error)) return std::fprintf(stderr, "stubpack: %s\n", error.c_str()), 1;
    }
  }
  if (o.stubPath.empty()) return Usage("no stub given (--stub)");
  if (o.outputPath.empty()) return Usage("no output file given (-o)");
  if (o.kind == OutputKind::Internet && !anyDownloadOption)
    return Usage("an internet stub needs --download-location and --download-name");
  if (!languagesFile.empty()) {
    std::string text, error;
    if (!ReadTextFile(languagesFile, text)) return std::fprintf(stderr, "stubpack: cannot read %s\n", languagesFile.c_str()), 1;
    if (!LanguageListFromText(text, o.languageList, error))
      return std::fprintf(stderr, "stubpack: %s: %s\n", languagesFile.c_str(), error.c_str()), 1;
  }
  if (!downloadOf.empty()) {
    TGFileInfo target(downloadOf);
    std::error_code ec;
    uint64_t size = std::filesystem::file_size(downloadOf, ec);
    if (ec || !target.IsValid())
      return std::fprintf(stderr, "stubpack: %s is not a readable setup file\n", downloadOf.c_str()), 1;
    if (o.downloadFileName.empty()) o.downloadFileName = std::filesystem::path(downloadOf).filename().string();
    if (o.downloadSize.empty()) o.downloadSize = IntToStr(int64_t(size));
    if (o.downloadToken.empty()) o.downloadToken = target.GetDownloadToken(true);
    if (downloadFile.empty()) downloadFile = downloadOf;
  }
  if (!downloadFile.empty()) {
    std::string digest, error;
    if (!FileSha256(downloadFile, digest, error)) return std::fprintf(stderr, "stubpack: %s\n", error.c_str()), 1;
    o.downloadDigest = HexOf(digest);
    std::error_code ec;
    uint64_t size = std::filesystem::file_size(downloadFile, ec);
    if (o.downloadSize.empty() && !ec) o.downloadSize = IntToStr(int64_t(size));
  }
  if (!updateKeyFile.empty()) {
    std::string spki, error;
    if (!ReadPublicKeyFile(updateKeyFile, spki, error)) return std::fprintf(stderr, "stubpack: %s\n", error.c_str()), 1;
    o.updateKey = Base64Encode(spki);
  }
  o.withDownloadHeader = anyDownloadOption;
  if (!mainName.empty()) {
    auto it = std::find_if(o.files.begin(), o.files.end(), [&](const PackedFile& f) { return SameText(f.name, mainName); });
    if (it == o.files.end()) return std::fprintf(stderr, "stubpack: --main %s is not among the packed files\n", mainName.c_str()), 1;
    it->isMain = true;
    it->mainArgs = mainArgs;
  } else if (!mainArgs.empty()) {
    return Usage("--main-args needs --main");
  }
  // The token padding is random but must not change between builds of the same
  // inputs, wherever they lie: seed it from what ends up in the package.
  seed = Fnv(seed, o.token + "|" + o.downloadToken);
  for (const PackedFile& f : o.files) {
    std::error_code ec;
    seed = Fnv(seed, f.name + "|" + IntToStr(int64_t(std::filesystem::file_size(f.sourcePath, ec))));
  }
  o.seed = seed;

  BuildResult result;
  std::string error;
  if (!WritePackage(o, result, error)) {
    std::fprintf(stderr, "stubpack: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& out : result.outputs) std::printf("%s\n", out.c_str());
  std::fprintf(stderr, "stubpack: %u records, %llu bytes packed into %llu\n", result.recordCount,
               static_cast<unsigned long long>(result.payloadBytes), static_cast<unsigned long long>(result.packedBytes));
  return 0;
}

int List(int argc, char** argv) {
  bool json = false;
  ListingTexts texts = ListingTexts::Utf8;
  std::string path;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--json") {
      json = true;
    } else if (a == "--raw") {
      texts = ListingTexts::Raw;
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("unknown option " + a);
    } else if (path.empty()) {
      path = a;
    } else {
      return Usage("list takes one file");
    }
  }
  if (path.empty()) return Usage("list needs a file");
  PackageListing listing = ListPackage(path);
  std::string text = json ? FormatListingJson(listing, texts) : FormatListingText(listing, texts);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return listing.readable && listing.problems.empty() ? 0 : 1;
}

int NotHere(const char* command) {
  std::fprintf(stderr, "stubpack: %s needs ECDSA P-256 from the system's CNG (Windows Vista or later)\n", command);
  return 1;
}

int Keygen(int argc, char** argv) {
  std::string base;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "-o" || a == "--output") && i + 1 < argc) {
      base = argv[++i];
    } else {
      return Usage("keygen takes -o NAME");
    }
  }
  if (base.empty()) return Usage("keygen needs -o NAME");
  if (!CanSign()) return NotHere("keygen");
  std::string error;
  if (!GenerateKeyPair(base, error)) return std::fprintf(stderr, "stubpack: %s\n", error.c_str()), 1;
  std::printf("%s.key\n%s.pub\n", base.c_str(), base.c_str());
  return 0;
}

int Release(int argc, char** argv) {
  ReleaseOptions o;
  bool haveVersion = false;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "-o" || a == "--output") {
      if (!value(o.outputPath)) return Usage("-o needs a file");
    } else if (a == "--key") {
      if (!value(o.keyPath)) return Usage("--key needs the private key file");
    } else if (a == "--setup") {
      if (!value(o.setupPath)) return Usage("--setup needs the update package");
    } else if (a == "--version") {
      if (!value(v) || !TryParseInt64(Trim(v), o.version) || o.version < 0)
        return Usage("--version needs a version number");
      haveVersion = true;
    } else if (a == "--download-location") {
      if (!value(o.downloadLocation) || o.downloadLocation.empty()) return Usage("--download-location needs a URL");
    } else if (a == "--template") {
      if (!value(o.templatePath)) return Usage("--template needs an INI file");
    } else if (a == "--agent") {
      if (!value(o.agentPath)) return Usage("--agent needs the agent file");
    } else if (a == "--valid-versions") {
      // The agent looks its version up between commas: "1,2" holds 2, "1, 2" does not.
      if (!value(o.validVersions) || o.validVersions.empty() ||
          o.validVersions.find_first_not_of("0123456789,") != std::string::npos ||
          o.validVersions.front() == ',' || o.validVersions.back() == ',' ||
          o.validVersions.find(",,") != std::string::npos)
        return Usage("--valid-versions needs version numbers separated by commas, no blanks");
    } else if (a == "--shutdown-method") {
      if (!value(o.shutDownMethod)) return Usage("--shutdown-method needs a method name");
    } else if (a == "--running-process") {
      if (!value(o.runningProcess)) return Usage("--running-process needs a program path");
    } else if (a == "--confirm-download") {
      o.confirmDownload = true;
    } else if (a == "--confirm-install") {
      o.confirmInstall = true;
    } else if (a == "--inform-file") {
      if (!value(o.informPath)) return Usage("--inform-file needs a file");
    } else if (a == "--inform-location") {
      if (!value(o.informLocation)) return Usage("--inform-location needs a URL");
    } else {
      return Usage("release: unknown option " + a);
    }
  }
  if (o.keyPath.empty()) return Usage("release needs --key");
  if (o.setupPath.empty()) return Usage("release needs --setup");
  if (!haveVersion) return Usage("release needs --version");
  if (o.downloadLocation.empty()) return Usage("release needs --download-location");
  if (o.outputPath.empty()) return Usage("release needs -o");
  if (!CanSign()) return NotHere("release");
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    if (!TryParseInt64(epoch, o.stamp)) return Usage("SOURCE_DATE_EPOCH is not a number of seconds");
  } else {
    o.stamp = int64_t(std::time(nullptr));
  }
  std::vector<std::string> notes;
  std::string error;
  bool ok = WriteRelease(o, notes, error);
  for (const std::string& note : notes) std::fprintf(stderr, "stubpack: %s\n", note.c_str());
  if (!ok) return std::fprintf(stderr, "stubpack: %s\n", error.c_str()), 1;
  std::printf("%s\n", o.outputPath.c_str());
  return 0;
}

int Verify(int argc, char** argv) {
  std::string info, keyPath, agentPath;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--key" && i + 1 < argc) {
      keyPath = argv[++i];
    } else if (a == "--agent" && i + 1 < argc) {
      agentPath = argv[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("verify: unknown option " + a);
    } else if (info.empty()) {
      info = a;
    } else {
      return Usage("verify takes one information file");
    }
  }
  if (info.empty()) return Usage("verify needs an information file");
  if (keyPath.empty() == agentPath.empty()) return Usage("verify needs --key PUB or --agent AGENT");
  if (!CanSign()) return NotHere("verify");
  std::string spki, error;
  if (!keyPath.empty() && !ReadPublicKeyFile(keyPath, spki, error))
    return std::fprintf(stderr, "stubpack: %s\n", error.c_str()), 1;
  if (!agentPath.empty()) {
    TGFileInfo agent(agentPath);
    if (!agent.IsValid()) return std::fprintf(stderr, "stubpack: %s is not an agent file\n", agentPath.c_str()), 1;
    if (!SpkiOfUpdateKeyItem(agent.GetUpdateKey(), spki, error))
      return std::fprintf(stderr, "stubpack: %s: %s\n", agentPath.c_str(), error.c_str()), 1;
  }
  VerifyReport report = VerifyRelease(info, spki);
  for (const std::string& note : report.notes) std::printf("%s: %s\n", info.c_str(), note.c_str());
  for (const std::string& failure : report.failures) std::printf("%s: NOT VALID: %s\n", info.c_str(), failure.c_str());
  if (report.failures.empty()) std::printf("%s: valid\n", info.c_str());
  return report.failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no command");
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (command == "build") return Build(argc - 2, argv + 2);
  if (command == "list") return List(argc - 2, argv + 2);
  if (command == "keygen") return Keygen(argc - 2, argv + 2);
  if (command == "release") return Release(argc - 2, argv + 2);
  if (command == "verify") return Verify(argc - 2, argv + 2);
  return Usage("unknown command " + command);
}
