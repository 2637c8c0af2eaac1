#include "PackageLister.h"

#include <zlib.h>

#include <cstdio>
#include <memory>

#include "CodePages.h"
#include "Release.h"
#include "agent/SignedInfo.h"
#include "util/SeparatorLists.h"

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kMaxNameField = 4096;

std::string Hex32(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", v);
  return b;
}

// Splits the entry text into name field and data as it streams past.
struct EntrySplitter {
  std::string nameField;
  bool nameDone = false;
  uint64_t dataBytes = 0;
  bool tooLong = false;

  void Take(const uint8_t* p, size_t n) {
    if (!nameDone) {
      size_t i = 0;
      while (i < n && p[i] != 0) ++i;
      size_t room = kMaxNameField - nameField.size();
      nameField.append(reinterpret_cast<const char*>(p), i < room ? i : room);
      if (i > room) tooLong = true;
      if (i == n) return;
      nameDone = true;
      p += i + 1;
      n -= i + 1;
    }
    dataBytes += n;
  }
};

// Reads one record body in bounded chunks; fills the record or its problem.
void ReadRecord(ReadOnlyFile& file, uint64_t bodyAt, ListedRecord& record) {
  EntrySplitter entry;
  std::vector<uint8_t> in(kChunk), out(kChunk);
  z_stream zs{};
  std::unique_ptr<z_stream, int (*)(z_stream*)> guard(nullptr, inflateEnd);
  if (record.compressed) {
    if (inflateInit(&zs) != Z_OK) {
      record.problem = "zlib: cannot start";
      return;
    }
    guard.reset(&zs);
  }
  bool ended = false;
  for (uint64_t done = 0; done < record.storedSize && !ended;) {
    size_t want = size_t(std::min<uint64_t>(kChunk, record.storedSize - done));
    if (!file.ReadExact(bodyAt + done, in.data(), want)) {
      record.problem = "the record body cannot be read";
      return;
    }
    done += want;
    if (!record.compressed) {
      entry.Take(in.data(), want);
      continue;
    }
    zs.next_in = in.data();
    zs.avail_in = uInt(want);
    while (zs.avail_in > 0 || zs.avail_out == 0) {
      zs.next_out = out.data();
      zs.avail_out = uInt(out.size());
      int rc = inflate(&zs, Z_NO_FLUSH);
      entry.Take(out.data(), out.size() - zs.avail_out);
      if (rc == Z_STREAM_END) {
        ended = true;
        break;
      }
      if (rc == Z_NEED_DICT) rc = Z_DATA_ERROR;
      if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;  // wants the next chunk
      if (rc != Z_OK) {
        record.problem = std::string("zlib: ") + (zs.msg ? zs.msg : zError(rc));
        return;
      }
    }
  }
  if (record.compressed && !ended) record.problem = "zlib: the stream ends early";
  if (entry.tooLong) record.problem = "the name field is longer than 4096 bytes";
  record.unpackedSize = entry.dataBytes;
  std::string field = entry.nameField;
  std::string name = SUB::Item(field, 0, "");
  record.dosDate = uint32_t(StrToInt64Def(SUB::Item(field, 1, ""), 0));
  size_t star = name.find('*');
  if (star != std::string::npos) {
    record.isMain = true;
    record.mainArgs = name.substr(star + 1);
    name = name.substr(0, star);
  }
  record.name = name;
  if (field.empty() && record.problem.empty()) record.problem = "empty name field: skipped";
}

// utf8: s is well-formed UTF-8, written as it is but for control characters;
// otherwise s holds bytes, written as Latin-1.
void JsonString(std::string& out, const std::string& s, bool utf8 = false) {
  out += '"';
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (utf8 && c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) {
      char b[8];  // a C1 control character
      std::snprintf(b, sizeof b, "\\u%04x", static_cast<unsigned char>(s[++i]));
      out += b;
    } else if (c < 0x20 || c == 0x7F || (!utf8 && c > 0x7F)) {
      // ANSI bytes are shown as their Latin-1 code points.
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      out += b;
    } else {
      out += char(c);
    }
  }
  out += '"';
}

class Json {
 public:
  explicit Json(bool utf8) : utf8_(utf8) {}
  void Open(char c) { Sep(), out_ += c, first_ = true; }
  void Close(char c) { out_ += c, first_ = false; }
  void Key(const char* k) { Sep(), JsonString(out_, k), out_ += ':', first_ = true; }
  void Str(const std::string& s) { Sep(), JsonString(out_, s, utf8_); }
  void Num(uint64_t v) { Sep(), out_ += IntToStr(int64_t(v)); }
  void Bool(bool b) { Sep(), out_ += b ? "true" : "false"; }
  std::string Take() { return out_ + "\n"; }

 private:
  void Sep() {
    if (!first_) out_ += ',';
    first_ = false;
  }
  std::string out_;
  bool first_ = true;
  bool utf8_;
};

const char* kFlagNames[] = {"AnnounceTempDrive", "MorePieces", "SpannedSet", "ShowActivityBar", "AgentLogOn"};

std::string FlagsText(uint8_t flags) {
  std::string text;
  for (int i = 0; i < 5; ++i)
    if (flags & (1 << i)) text += std::string(text.empty() ? "" : " ") + kFlagNames[i];
  return text;
}

const char* CrcStateName(PieceCrcState state) {
  return state == PieceCrcState::Stored ? "stored" : state == PieceCrcState::Foreign ? "foreign" : "none";
}

std::string CrcText(const PieceCrcCheck& crc) {
  if (crc.field.state == PieceCrcState::None) return "none";
  if (crc.field.state == PieceCrcState::Foreign) return "none (bytes 20..27 are not a CRC of this builder)";
  if (crc.passes) return Hex32(crc.field.value) + " (matches)";
  return Hex32(crc.field.value) + " (" + (crc.computed ? "computed " + Hex32(crc.value) : "bytes unreadable") +
         ", MISMATCH)";
}

// A listing must not show the reader's random stand-in for a token that does not check.
std::string ReadableToken(const std::string& scrambled) {
  if (scrambled.empty()) return "";
  return DecodeToken(scrambled).value_or("(does not check: " + scrambled + ")");
}

unsigned CodePageOfBlock(const std::string& block) {
  return CodePageOfCharset(int(StrToInt64Def(SUB::Value(block, "Charset", true, "", "0"), 0)));
}

const CodePage& PageOrLatin1(unsigned number) {
  const CodePage* page = CodePage::Find(number);
  return page ? *page : *CodePage::Find(kLatin1CodePage);
}

// Nothing from a package may steer the terminal: control characters but tab go.
std::string WithoutControls(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    char32_t c = NextUtf8(utf8, at);
    AppendUtf8(out, (c < 0x20 && c != '\t') || (c >= 0x7F && c < 0xA0) ? kReplacementCharacter : c);
  }
  return out;
}

// How the listing writes texts.
struct TextStyle {
  ListingTexts texts;
  bool json;

  // A text of the package, in the given code page.
  std::string Package(const std::string& bytes, unsigned codePage) const {
    if (texts == ListingTexts::Raw) return bytes;
    std::string utf8 = PageOrLatin1(codePage).ToUtf8(bytes);
    return json ? utf8 : WithoutControls(utf8);
  }
  // A text of this system (a path) that may hold package bytes (a record's name).
  std::string Local(const std::string& text, unsigned codePage) const {
    if (texts == ListingTexts::Raw) return text;
    if (!IsUtf8(text)) return Package(text, codePage);
    return json ? text : WithoutControls(text);
  }
};

}  // namespace

std::string DosDateText(uint32_t d) {
  char b[32];
  std::snprintf(b, sizeof b, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (d >> 25), (d >> 21) & 15, (d >> 16) & 31,
                (d >> 11) & 31, (d >> 5) & 63, (d & 31) * 2);
  return b;
}

PackageListing ListPackage(const std::string& path) {
  PackageListing l;
  TGFileInfo info(path);
  l.readable = info.IsValid();
  l.languageList = info.LanguageList();
  l.packageHeader = info.PackageHeader();
  l.downloadHeader = info.DownloadHeader();
  l.infoLocation = info.GetInfoLocation();
  l.infoFileName = info.GetInfoFileName();
  l.originalSettingsName = info.GetOriginalSettingsName();
  l.agentName = info.GetAgentName();
  l.packageToken = ReadableToken(info.GetPackageToken(false));
  l.hiddenRun = info.IsHiddenRun();
  l.downloadLocation = info.GetDownloadLocation();
  l.downloadFileName = info.GetDownloadFileName();
  l.alwaysDownload = info.IsAlwaysDownload();
  l.downloadToken = ReadableToken(info.GetDownloadToken(false));
  l.downloadSize = info.GetDownloadSize();
  l.updateKey = info.GetUpdateKey();
  l.downloadDigest = info.GetDownloadDigest();
  if (!l.updateKey.empty()) {
    std::string spki, error;
    if (SpkiOfUpdateKeyItem(l.updateKey, spki, error))
      l.updateKeyFingerprint = KeyFingerprint(spki);
    else
      l.problems.push_back("the update key is not the base64 of a P-256 public key");
  }
  if (!l.downloadDigest.empty() && NormalizeSha256Hex(l.downloadDigest).empty())
    l.problems.push_back("the download digest is not a SHA-256 in hex");
  for (int i = 0, n = SUB::Count(l.languageList); i < n; ++i) {
    std::string block = SUB::Item(l.languageList, i, "");
    std::vector<std::string> items;
    for (int j = 0, m = SUB::Count(block); j < m; ++j) items.push_back(SUB::Item(block, j, ""));
    l.languageBlocks.push_back(items);
    l.blockCodePages.push_back(CodePageOfBlock(block));
  }
  std::string textBlock = ChooseLanguageBlock(l.languageList, "English");
  if (textBlock.size() > 1) l.textCodePage = CodePageOfBlock(textBlock);
  if (!l.readable) {
    l.problems.push_back(FileExists(path) ? "no readable package" : "file not found");
    if (!FileExists(path)) return l;
  }

  std::string base = EndsWith(".001", path, true) ? path.substr(0, path.size() - 4) : path;
  std::string piecePath = path;
  for (unsigned piece = 1;; ++piece) {
    auto file = OpenReadOnly(piecePath);
    if (!file) {
      l.problems.push_back("piece " + piecePath + " is missing");
      break;
    }
    ListedPiece p;
    p.path = piecePath;
    p.physicalSize = file->Size();
    p.stampedCapable = IsStampedCapable(*file);
    p.stampedLength = p.stampedCapable ? ReadStampedLength(*file) : 0;
    p.logicalLength = LogicalLength(*file);
    TrailerLocation where = ReadTrailer(*file, p.trailer);
    p.computedChecksum = ComputeChecksum(*file, p.trailer.TrailerLength);
    p.checksumPasses = ChecksumPasses(p.computedChecksum, p.trailer.Checksum);
    if (p.trailer.HasMagic()) p.crc = CheckPieceCrc(*file, p.trailer, where);
    l.pieces.push_back(p);
    if (!p.checksumPasses) l.problems.push_back("piece " + piecePath + " fails its checksum");
    if (!p.crc.passes)
      l.problems.push_back("piece " + piecePath + " fails its CRC-32 (stored " + Hex32(p.crc.field.value) + ", " +
                           (p.crc.computed ? "computed " + Hex32(p.crc.value) : std::string("bytes unreadable")) + ")");
    if (!p.trailer.HasMagic()) {
      l.problems.push_back("piece " + piecePath + " has no package trailer");
    } else {
      uint64_t position = piece == 1 ? info.Trailer().StartOffset : p.trailer.StartOffset;
      if (piece == 1 && !l.readable) position = p.logicalLength;
      while (p.logicalLength > position && p.logicalLength - position > kTrailerSize) {
        ListedRecord r;
        r.piece = piece;
        r.offset = position;
        uint32_t raw = 0;
        if (!file->ReadU32(position, raw)) {
          l.problems.push_back("record length at " + IntToStr(int64_t(position)) + " cannot be read");
          break;
        }
        int32_t length = int32_t(raw);
        r.compressed = length > 0;
        r.storedSize = length < 0 ? uint64_t(-int64_t(length)) : uint64_t(length);
        if (r.storedSize > p.logicalLength - position - 4) {
          l.problems.push_back("record at " + IntToStr(int64_t(position)) + " runs past the end of the piece");
          break;
        }
        if (r.storedSize > 0) {
          ReadRecord(*file, position + 4, r);
          l.records.push_back(r);
        }
        position += 4 + r.storedSize;
      }
    }
    if (!p.trailer.HasFlag(kFlagMorePieces)) break;
    if (piece >= 999) {
      l.problems.push_back("more than 999 pieces");
      break;
    }
    piecePath = base + "." + ZeroPad(piece + 1, 3);
  }
  for (const ListedRecord& r : l.records)
    if (!r.problem.empty() && r.problem != "empty name field: skipped")
      l.problems.push_back("record " + r.name + " at " + IntToStr(int64_t(r.offset)) + ": " + r.problem);
  return l;
}

std::string FormatListingText(const PackageListing& l, ListingTexts texts) {
  std::string t;
  const TextStyle style{texts, false};
  // Values are numbers or texts of the package outside the language blocks.
  auto line = [&](const std::string& key, const std::string& value) {
    t += "  " + key + std::string(key.size() < 22 ? 22 - key.size() : 1, ' ') + style.Package(value, l.textCodePage) +
         "\n";
  };
  for (size_t i = 0; i < l.pieces.size(); ++i) {
    const ListedPiece& p = l.pieces[i];
    const PackageTrailer& tr = p.trailer;
    t += "Piece " + IntToStr(int64_t(i + 1)) + ": " + style.Local(p.path, l.textCodePage) + "\n";
    line("Size", IntToStr(int64_t(p.physicalSize)) + " bytes, logical length " + IntToStr(int64_t(p.logicalLength)) +
                     (p.stampedLength ? " (stamped)" : p.stampedCapable ? " (not stamped)" : ""));
    line("HeaderStrings", IntToStr(tr.HeaderStrings));
    line("StartOffset", IntToStr(tr.StartOffset));
    line("FilesCount", IntToStr(tr.FilesCount));
    line("Magic", Hex32(tr.Magic) + (tr.HasMagic() ? " (good)" : " (wrong)"));
    line("Checksum", IntToStr(tr.Checksum) + " (computed " + IntToStr(p.computedChecksum) +
                         (p.checksumPasses ? ", passes)" : ", FAILS)"));
    line("CRC-32", CrcText(p.crc));
    std::string space;
    for (uint32_t s : tr.SpaceNeeded) space += (space.empty() ? "" : " ") + IntToStr(s);
    line("SpaceNeeded", space);
    line("Flags", Hex32(tr.Flags).substr(8) + (tr.Flags ? "  " + FlagsText(tr.Flags) : ""));
    line("InternetDownload", IntToStr(tr.InternetDownload));
    line("ConfirmDownload", IntToStr(tr.ConfirmDownload));
    line("CreateAgent", IntToStr(tr.CreateAgent));
    line("ThisIs_AutoUpdateProg", IntToStr(tr.ThisIs_AutoUpdateProg));
    line("TrailerLength", IntToStr(tr.TrailerLength));
  }
  t += "Package header:\n";
  line("Info location", l.infoLocation);
  line("Info file", l.infoFileName);
  line("Original settings", l.originalSettingsName);
  line("Agent name", l.agentName);
  line("Token", l.packageToken);
  line("Hidden run", l.hiddenRun ? "yes" : "no");
  if (!l.updateKey.empty()) {
    line("Update key", l.updateKey);
    line("Key SHA-256", l.updateKeyFingerprint.empty() ? "(not a P-256 key)" : l.updateKeyFingerprint);
  }
  if (!l.downloadHeader.empty()) {
    t += "Download header:\n";
    line("Location", l.downloadLocation);
    line("File name", l.downloadFileName);
    line("Always download", l.alwaysDownload ? "yes" : "no");
    line("Token", l.downloadToken);
    line("Size", l.downloadSize);
    if (!l.downloadDigest.empty()) line("SHA-256", l.downloadDigest);
  }
  t += "Language blocks: " + IntToStr(int64_t(l.languageBlocks.size())) + "\n";
  for (size_t b = 0; b < l.languageBlocks.size(); ++b) {
    const auto& block = l.languageBlocks[b];
    unsigned page = l.blockCodePages[b];
    t += "  [" + style.Package(block.empty() ? std::string() : block[0], page) + "]  code page " + IntToStr(page) + "\n";
    for (size_t i = 1; i < block.size(); ++i) t += "    " + style.Package(block[i], page) + "\n";
  }
  t += "Records: " + IntToStr(int64_t(l.records.size())) + "\n";
  for (const ListedRecord& r : l.records) {
    char b[160];
    std::snprintf(b, sizeof b, "  %-3u %-10s %12llu %12llu  %s  ", r.piece, r.compressed ? "compressed" : "stored",
                  static_cast<unsigned long long>(r.storedSize), static_cast<unsigned long long>(r.unpackedSize),
                  r.dosDate ? DosDateText(r.dosDate).c_str() : "(time of writing)  ");
    std::string name = style.Package(r.name, l.textCodePage), args = style.Package(r.mainArgs, l.textCodePage);
    t += b + name + (r.isMain ? "  [main program" + (args.empty() ? "" : ": " + args) + "]" : "") +
         (r.problem.empty() ? "" : "  (" + style.Local(r.problem, l.textCodePage) + ")") + "\n";
  }
  for (const std::string& p : l.problems) t += "PROBLEM: " + style.Local(p, l.textCodePage) + "\n";
  return t;
}

std::string FormatListingJson(const PackageListing& l, ListingTexts texts) {
  const TextStyle style{texts, true};
  Json j(texts == ListingTexts::Utf8);
  auto text = [&](const std::string& bytes) { return style.Package(bytes, l.textCodePage); };
  j.Open('{');
  j.Key("readable"), j.Bool(l.readable);
  j.Key("pieces"), j.Open('[');
  for (const ListedPiece& p : l.pieces) {
    const PackageTrailer& tr = p.trailer;
    j.Open('{');
    j.Key("path"), j.Str(style.Local(p.path, l.textCodePage));
    j.Key("physicalSize"), j.Num(p.physicalSize);
    j.Key("logicalLength"), j.Num(p.logicalLength);
    j.Key("stampedCapable"), j.Bool(p.stampedCapable);
    j.Key("stampedLength"), j.Num(p.stampedLength);
    j.Key("HeaderStrings"), j.Num(tr.HeaderStrings);
    j.Key("StartOffset"), j.Num(tr.StartOffset);
    j.Key("FilesCount"), j.Num(tr.FilesCount);
    j.Key("Magic"), j.Num(tr.Magic);
    j.Key("Checksum"), j.Num(tr.Checksum);
    j.Key("computedChecksum"), j.Num(p.computedChecksum);
    j.Key("checksumPasses"), j.Bool(p.checksumPasses);
    j.Key("crc32"), j.Open('{');
    j.Key("state"), j.Str(CrcStateName(p.crc.field.state));
    if (p.crc.field.state == PieceCrcState::Stored) {
      j.Key("stored"), j.Num(p.crc.field.value);
      j.Key("computed"), p.crc.computed ? j.Num(p.crc.value) : j.Str("unreadable");
      j.Key("matches"), j.Bool(p.crc.passes);
    }
    j.Close('}');
    j.Key("SpaceNeeded"), j.Open('[');
    for (uint32_t s : tr.SpaceNeeded) j.Num(s);
    j.Close(']');
    j.Key("Flags"), j.Num(tr.Flags);
    j.Key("AnnounceTempDrive"), j.Bool(tr.HasFlag(kFlagAnnounceTempDrive));
    j.Key("MorePieces"), j.Bool(tr.HasFlag(kFlagMorePieces));
    j.Key("SpannedSet"), j.Bool(tr.HasFlag(kFlagSpannedSet));
    j.Key("ShowActivityBar"), j.Bool(tr.HasFlag(kFlagShowActivityBar));
    j.Key("AgentLogOn"), j.Bool(tr.HasFlag(kFlagAgentLogOn));
    j.Key("InternetDownload"), j.Num(tr.InternetDownload);
    j.Key("ConfirmDownload"), j.Num(tr.ConfirmDownload);
    j.Key("CreateAgent"), j.Num(tr.CreateAgent);
    j.Key("ThisIs_AutoUpdateProg"), j.Num(tr.ThisIs_AutoUpdateProg);
    j.Key("TrailerLength"), j.Num(tr.TrailerLength);
    j.Key("reserved"), j.Open('[');
    j.Num(tr.Reserved0), j.Num(tr.Reserved2);
    for (uint8_t b : tr.Reserved20) j.Num(b);
    j.Num(tr.Reserved64);
    j.Close(']');
    j.Close('}');
  }
  j.Close(']');
  j.Key("packageHeader"), j.Open('{');
  j.Key("raw"), j.Str(text(l.packageHeader));
  j.Key("infoLocation"), j.Str(text(l.infoLocation));
  j.Key("infoFileName"), j.Str(text(l.infoFileName));
  j.Key("originalSettingsName"), j.Str(text(l.originalSettingsName));
  j.Key("agentName"), j.Str(text(l.agentName));
  j.Key("token"), j.Str(text(l.packageToken));
  j.Key("hiddenRun"), j.Bool(l.hiddenRun);
  j.Key("updateKey"), j.Str(text(l.updateKey));
  j.Key("updateKeyFingerprint"), j.Str(l.updateKeyFingerprint);
  j.Close('}');
  j.Key("downloadHeader"), j.Open('{');
  j.Key("raw"), j.Str(text(l.downloadHeader));
  j.Key("location"), j.Str(text(l.downloadLocation));
  j.Key("fileName"), j.Str(text(l.downloadFileName));
  j.Key("alwaysDownload"), j.Bool(l.alwaysDownload);
  j.Key("token"), j.Str(text(l.downloadToken));
  j.Key("size"), j.Str(text(l.downloadSize));
  j.Key("sha256"), j.Str(text(l.downloadDigest));
  j.Close('}');
  j.Key("textCodePage"), j.Num(l.textCodePage);
  j.Key("languageBlocks"), j.Open('[');
  for (size_t b = 0; b < l.languageBlocks.size(); ++b) {
    const auto& block = l.languageBlocks[b];
    unsigned page = l.blockCodePages[b];
    j.Open('{');
    j.Key("language"), j.Str(style.Package(block.empty() ? "" : block[0], page));
    j.Key("codePage"), j.Num(page);
    j.Key("items"), j.Open('[');
    for (size_t i = 1; i < block.size(); ++i) j.Str(style.Package(block[i], page));
    j.Close(']');
    j.Close('}');
  }
  j.Close(']');
  j.Key("records"), j.Open('[');
  for (const ListedRecord& r : l.records) {
    j.Open('{');
    j.Key("piece"), j.Num(r.piece);
    j.Key("offset"), j.Num(r.offset);
    j.Key("name"), j.Str(text(r.name));
    j.Key("main"), j.Bool(r.isMain);
    j.Key("mainArgs"), j.Str(text(r.mainArgs));
    j.Key("dosDate"), j.Num(r.dosDate);
    j.Key("date"), j.Str(r.dosDate ? DosDateText(r.dosDate) : "");
    j.Key("compressed"), j.Bool(r.compressed);
    j.Key("storedSize"), j.Num(r.storedSize);
    j.Key("unpackedSize"), j.Num(r.unpackedSize);
    j.Key("problem"), j.Str(style.Local(r.problem, l.textCodePage));
    j.Close('}');
  }
  j.Close(']');
  j.Key("problems"), j.Open('[');
  for (const std::string& p : l.problems) j.Str(style.Local(p, l.textCodePage));
  j.Close(']');
  j.Close('}');
  return j.Take();
}
