// Reads a setup file (and its further pieces) the way the stub does and describes
// it: trailer fields, header items, language blocks and file records.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/PackageReader.h"

struct ListedRecord {
  unsigned piece = 1;
  uint64_t offset = 0;        // of the length field
  bool compressed = false;
  uint64_t storedSize = 0;    // body bytes in the package
  uint64_t unpackedSize = 0;  // file data bytes (after the name field)
  std::string name;           // item 0 of the name field, without "*" and arguments
  bool isMain = false;
  std::string mainArgs;
  uint32_t dosDate = 0;       // item 1 of the name field; 0 = time of writing
  std::string problem;        // non-empty: the record is damaged
};

struct ListedPiece {
  std::string path;
  uint64_t physicalSize = 0;
  uint64_t logicalLength = 0;
  bool stampedCapable = false;
  uint64_t stampedLength = 0;
  PackageTrailer trailer;
  uint32_t computedChecksum = 0;
  bool checksumPasses = false;
  PieceCrcCheck crc;  // the CRC-32 of trailer bytes 20..27 against the piece's bytes
};

struct PackageListing {
  bool readable = false;  // the first piece carries a readable package
  std::vector<ListedPiece> pieces;
  std::string languageList, packageHeader, downloadHeader;
  std::string infoLocation, infoFileName, originalSettingsName, agentName, packageToken;
  bool hiddenRun = false;
  std::string downloadLocation, downloadFileName, downloadToken, downloadSize;
  bool alwaysDownload = false;
  // The sixth header items: the update key (base64 SubjectPublicKeyInfo) with its
  // fingerprint (SHA-256 hex of the DER; empty when the key does not read), and the
  // SHA-256 hex of the setup file to download.
  std::string updateKey, updateKeyFingerprint, downloadDigest;
  std::vector<std::vector<std::string>> languageBlocks;  // item 0 is the language name
  // The code page of each block (from its Charset) and of the texts outside the
  // blocks (file names, header items): that of the block the stub picks on an
  // English system (the English block, else the only one), else 1252.
  std::vector<unsigned> blockCodePages;
  unsigned textCodePage = 1252;
  std::vector<ListedRecord> records;
  std::vector<std::string> problems;
};

PackageListing ListPackage(const std::string& path);

// Utf8: the package's 8-bit texts converted from their code pages; a byte that is
// no character there, and a control character but tab, shows as U+FFFD (in JSON, control
// characters are escaped instead). Raw: the bytes as stored (JSON: as Latin-1).
enum class ListingTexts { Utf8, Raw };
std::string FormatListingText(const PackageListing& listing, ListingTexts texts = ListingTexts::Utf8);
std::string FormatListingJson(const PackageListing& listing, ListingTexts texts = ListingTexts::Utf8);
// "YYYY-MM-DD HH:MM:SS" of a DOS date and time.
std::string DosDateText(uint32_t dosDate);
