// HTTP size queries and downloads over WinINet, and recognition of the HTML error
// pages that servers send in place of a wanted file.
//
// The decisions (chunk sizes, temporary names, URL scheme, status judgement, the
// "complete download" rule, error-page rules) are portable and tested natively;
// the WinINet layer (InetHTTPWin32.cpp) binds the library at run time from the
// system folder and stays thin.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr const char* kInetLibrary = "WinINet.dll";
inline constexpr const char* kProbeAgent = "HTTP_Connect_2";     // probes and size queries
inline constexpr const char* kDownloadAgent = "HTTP_Connect_3";  // downloads
inline constexpr uint32_t kInetTimeoutMs = 180000;
inline constexpr uint32_t kReadBufferSize = 8192;
// Information and inform files come into memory; nothing larger is accepted there.
inline constexpr uint64_t kMemoryDownloadCap = 1048576;
inline constexpr size_t kErrorPagePrefix = 1000;

// ---- sizes and names -------------------------------------------------------------
// Bytes per read: size / 10 clamped to 1..8192; an unknown size (negative) reads 8192.
uint32_t DownloadChunkSize(int64_t size);
// Progress maximum: ceil(size / chunk) + 1, the size taken as 32-bit unsigned (an
// unknown size is 0xFFFFFFFF), so the range always fits 32 bits.
int ProgressMaximum(int64_t size, uint32_t chunk);

// Local file + "." + decimal(size + lastModified) as 32-bit unsigned.
std::string TempDownloadName(const std::string& localFile, int64_t size, uint32_t lastModified);
// True when fileName (no folder) is localName (no folder) + "." + one or more digits,
// letters compared without regard to ASCII case: the only files the purge removes.
bool IsTempDownloadName(const std::string& localName, const std::string& fileName);

// MS-DOS date-time (date in the high word) of a calendar time; 0 when outside
// 1980..2107 or not a valid date.
uint32_t DosDateTimeOf(int year, int month, int day, int hour, int minute, int second);

// The last path element of the URL after every "/" became "\".
std::string DownloadDisplayName(const std::string& url);

// True when the URL starts with a scheme ("http://", "https://", "ftp://", ...).
bool HasUrlScheme(const std::string& url);
// "http://" in front of an URL without a scheme; others stay as they are.
std::string DownloadUrl(const std::string& url);

// Content-Length header text to its value: decimal digits only; -1 otherwise.
int64_t ParseContentLength(const std::string& text);

// ---- the outcome of a transfer ----------------------------------------------------
// Status 0 means none was available (a scheme without status codes).
bool StatusAccepted(uint32_t status);
// Whether a refused answer means the file is missing: 404 and 410, or any status
// whose body (its first kErrorPagePrefix bytes) is an HTML error page.
bool StatusMeansMissingFile(uint32_t status, const std::string& bodyHead);
// The error text of a refused status: for a missing file the error-page message
// ("<B>404 File Not Found...</B>..." with the URL, box mark-up), others with their code.
std::string StatusErrorText(const std::string& url, uint32_t status, const std::string& bodyHead);

struct TransferEnd {
  int64_t announced = -1;     // Content-Length; -1 when the server sent none
  uint64_t received = 0;      // bytes stored
  bool cleanEnd = false;      // the last read succeeded with 0 bytes
  bool readFailed = false;
  bool aborted = false;       // the process-wide abort flag
  bool cancelled = false;     // the progress object's cancel flag
  bool storeFailed = false;   // the target could not take a chunk
  bool tooLarge = false;      // a memory download passed its cap
};
// Empty when the transfer delivered the whole file; otherwise the error text
// ("Download Aborted" for an abort or cancel). failureText is the text a failed read
// or store produced (used as it is).
std::string TransferErrorText(const TransferEnd& end, const std::string& displayName,
                              const std::string& failureText);

// ---- HTML error pages -------------------------------------------------------------
// Whether the first 1000 characters of text look like an HTML page: "404" between
// "<TITLE" and "</TITLE>", or "<HTML>", "<HEAD>", "<TITLE>", "</TITLE>" in this
// order (first occurrences, any case).
bool LooksLikeHtmlErrorPage(const std::string& text);
// The message for an error page (default when isErrorPage is false); with iisHint and
// "IIS" in text, the MIME-type sentence is added.
std::string ErrorPageMessage(bool isErrorPage, const std::string& text, const std::string& url,
                             const std::string& defaultText, bool iisHint);

#ifdef _WIN32
#include <windows.h>

class TProgBar;

bool HTTP_IsConnected(std::string& errorText);
void HTTP_SetAbort(bool on);
bool HTTP_Aborted();
// The size the server announces, or -1.
int64_t HTTP_GetFileSize(const std::string& url);
// To localFile when it is not empty, else into memoryData (at most 1 MB). The local
// file is replaced only by a complete download; the result is errorText.empty().
bool HTTP_DownloadFile_Incremental(HWND owner, const std::string& url, const std::string& localFile,
                                   const std::string& user, const std::string& password, TProgBar* progress,
                                   std::string& memoryData, std::string& errorText);
bool HTTP_DownloadFile_Incremental(HWND owner, const std::string& url, const std::string& localFile,
                                   std::string& memoryData, TProgBar* progress, std::string& errorText);
// The same into localFile, with the SHA-256 of the stored bytes made on the way (32
// bytes; empty when the download failed or the system has no SHA-256).
bool HTTP_DownloadFile_Hashed(HWND owner, const std::string& url, const std::string& localFile, TProgBar* progress,
                              std::string& sha256, std::string& errorText);
// The file's first 1000 bytes when it exists, else text.
bool IsHtmlErrorPage(const std::string& fileName, const std::string& text);
void GetHtmlErrorPageText(const std::string& fileName, const std::string& text, const std::string& url,
                          const std::string& defaultText, bool iisHint, std::string& result);
// Frees "WinINet.dll" (at program end).
void HTTP_Unload();
#endif
