// Writes setup files, spanned piece sets, internet stubs and agent files in exactly
// the layout the stub reads.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/PackageReader.h"
#include "util/Random.h"

// The scrambled form of a secret token (lower-case letters, two per byte) that
// UnscrambleToken turns back into the token. Padding comes from random.
std::string EncodeToken(const std::string& token, SeededRandom& random);

// A separator list of the items, separated by the first candidate character that
// no item contains ("|" normally).
std::string MakeList(const std::vector<std::string>& items);

// The language list from a text of language blocks:
//   [English]
//   s0=Welcome
//   Charset=0
// Blank lines and lines starting with ";" or "#" are skipped. No block at all gives
// the empty list (the one character 0x02). A UTF-8 text (a leading BOM is dropped)
// is written block by block in the code page of the block's Charset; any other text
// is taken byte for byte. Fails (false, error) on a key line outside a block, a
// character that does not fit its block's code page (naming it, the block and the
// line) or a block that cannot be separated.
bool LanguageListFromText(const std::string& text, std::string& list, std::string& error);

// MS-DOS date and time (date high, time low) of a UTC time in Unix seconds;
// times before 1980 give 1980-01-01 00:00.
uint32_t DosDateTime(int64_t unixSeconds);

struct PackedFile {
  std::string sourcePath;
  std::string name;        // plain file name inside the target folder
  std::string mainArgs;    // only for the main program
  bool isMain = false;
  std::optional<uint32_t> dosDate;  // default: from the file's modification time
};

enum class OutputKind { Setup, Internet, Agent };

struct BuildOptions {
  OutputKind kind = OutputKind::Setup;
  std::string stubPath;
  std::string outputPath;
  std::vector<PackedFile> files;

  // zlib level 0..9; stored records (negative lengths) when store is set.
  int level = 9;
  bool store = false;

  // Spanned set: maximum bytes per piece (0 = single file). The pieces are
  // output, output.002, ...; with numberFirstPiece the first is output.001.
  uint64_t pieceSize = 0;
  bool numberFirstPiece = false;

  std::string languageList = std::string(1, '\x02');
  std::string infoLocation = "http:";
  std::string infoFileName = ".info";
  std::string agentName = ".exe";
  std::string token;           // plain; scrambled on writing
  bool hiddenRun = false;
  // The package header's sixth item when set: the base64 of the vendor's update-key
  // SubjectPublicKeyInfo DER, carried on into the agent.
  std::string updateKey;

  bool withDownloadHeader = false;  // internet stubs always carry one
  std::string downloadLocation, downloadFileName, downloadToken, downloadSize;
  std::string downloadDigest;  // the download header's sixth item when set: SHA-256 hex
  bool alwaysDownload = false;

  // Trailer contents; Magic, StartOffset, FilesCount, TrailerLength and (unless
  // given) HeaderStrings, Checksum and SpaceNeeded are filled in by the writer.
  PackageTrailer trailer;
  std::optional<uint8_t> headerStrings;   // stored value, 0 allowed
  std::optional<uint32_t> checksum;       // stored value instead of the computed one
  // Each piece's CRC-32 in the trailer's reserved bytes 20..27 (PieceCrc in
  // PackageReader.h). Off: those bytes stay 0, as older builders wrote them.
  bool pieceCrc = true;
  std::optional<uint32_t> storedPieceCrc;  // stored (with the marker) instead of the computed one
  std::optional<std::vector<uint32_t>> spaceNeeded;  // 1 value for all, or 9
  std::vector<std::pair<unsigned, uint8_t>> trailerBytes;  // raw overrides, last word

  std::optional<int64_t> fixedDate;  // Unix seconds for every record date
  uint64_t seed = 0;                 // mixed into the token padding
};

struct BuildResult {
  std::vector<std::string> outputs;  // every file written, first piece first
  uint32_t recordCount = 0;
  uint64_t payloadBytes = 0;         // unpacked bytes of all files
  uint64_t packedBytes = 0;          // record bodies
};

// Writes the output(s). On failure returns false with a one-line error and leaves
// no output file behind (outputs are written under temporary names first).
bool WritePackage(const BuildOptions& options, BuildResult& result, std::string& error);
