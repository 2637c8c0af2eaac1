#include "net/HttpDownload.h"

#include "util/SeparatorLists.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// File name part of a path ("\" or "/" ends the folder).
std::string NameOnly(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

uint32_t DownloadChunkSize(int64_t size) {
  if (size < 0) return kReadBufferSize;
  uint64_t chunk = uint64_t(size) / 10;
  if (chunk < 1) return 1;
  return chunk > kReadBufferSize ? kReadBufferSize : uint32_t(chunk);
}

int ProgressMaximum(int64_t size, uint32_t chunk) {
  if (chunk == 0) chunk = 1;
  const uint64_t bytes = uint32_t(size);  // unknown (-1) reads as 0xFFFFFFFF
  const uint64_t steps = (bytes + chunk - 1) / chunk + 1;
  return steps > 0x7FFFFFFF ? 0x7FFFFFFF : int(steps);
}

std::string TempDownloadName(const std::string& localFile, int64_t size, uint32_t lastModified) {
  return localFile + "." + std::to_string(uint32_t(uint64_t(size) + lastModified));
}

bool IsTempDownloadName(const std::string& localName, const std::string& fileName) {
  const std::string local = NameOnly(localName);
  const std::string name = NameOnly(fileName);
  if (local.empty() || name.size() < local.size() + 2) return false;
  if (!SameText(name.substr(0, local.size()), local) || name[local.size()] != '.') return false;
  for (size_t i = local.size() + 1; i < name.size(); ++i)
    if (!IsDigit(name[i])) return false;
  return true;
}

uint32_t DosDateTimeOf(int year, int month, int day, int hour, int minute, int second) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59)
    return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap)) return 0;
  const uint32_t date = uint32_t(((year - 1980) << 9) | (month << 5) | day);
  const uint32_t time = uint32_t((hour << 11) | (minute << 5) | (second / 2));
  return (date << 16) | time;
}

std::string DownloadDisplayName(const std::string& url) {
  const std::string path = ReplaceChar(url, '/', '\\');
  const size_t cut = path.rfind('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool HasUrlScheme(const std::string& url) {
  // scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ), then "://"
  if (url.empty() || !IsAlpha(url[0])) return false;
  size_t i = 1;
  while (i < url.size() && (IsAlpha(url[i]) || IsDigit(url[i]) || url[i] == '+' || url[i] == '-' || url[i] == '.'))
    ++i;
  return url.compare(i, 3, "://") == 0;
}

std::string DownloadUrl(const std::string& url) { return HasUrlScheme(url) ? url : "http://" + url; }

int64_t ParseContentLength(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return -1;
  for (char c : t)
    if (!IsDigit(c)) return -1;
  int64_t value = -1;
  return TryParseInt64(t, value) ? value : -1;
}

bool StatusAccepted(uint32_t status) { return status == 0 || (status >= 200 && status <= 299); }

bool StatusMeansMissingFile(uint32_t status, const std::string& bodyHead) {
  return status == 404 || status == 410 || LooksLikeHtmlErrorPage(bodyHead);
}

std::string StatusErrorText(const std::string& url, uint32_t status, const std::string& bodyHead) {
  if (StatusMeansMissingFile(status, bodyHead)) return ErrorPageMessage(true, bodyHead, url, "", false);
  return url + " --- HTTP status " + std::to_string(status);
}

std::string TransferErrorText(const TransferEnd& end, const std::string& displayName,
                              const std::string& failureText) {
  if (end.aborted || end.cancelled) return "Download Aborted";
  if (end.readFailed || end.storeFailed)
    return failureText.empty() ? displayName + " --- Error downloading file" : failureText;
  if (end.tooLarge)
    return displayName + " --- File too large (more than " + std::to_string(kMemoryDownloadCap) + " bytes)";
  // Without a clean end the data may have stopped anywhere.
  if (!end.cleanEnd) return displayName + " --- Error downloading file";
  if (end.announced >= 0 && end.received != uint64_t(end.announced))
    return displayName + " --- Incomplete download (" + std::to_string(end.received) + " of " +
           std::to_string(end.announced) + " bytes)";
  return "";
}

bool LooksLikeHtmlErrorPage(const std::string& text) {
  const std::string head = text.substr(0, kErrorPagePrefix);
  const size_t title = PosCI("<TITLE", head);
  const size_t code = PosCI("404", head);
  const size_t titleEnd = PosCI("</TITLE>", head);
  if (title > 0 && title < code && code < titleEnd) return true;
  const size_t html = PosCI("<HTML>", head);
  const size_t headTag = PosCI("<HEAD>", head);
  const size_t titleTag = PosCI("<TITLE>", head);
  return html > 0 && html < headTag && headTag < titleTag && titleTag < titleEnd;
}

std::string ErrorPageMessage(bool isErrorPage, const std::string& text, const std::string& url,
                             const std::string& defaultText, bool iisHint) {
  if (!isErrorPage) return defaultText;
  std::string result = "<B>404 File Not Found...</B><P><P>URL:  " + url + "." +
                       "<P><P>Please make sure the file is available and access is allowed to this file.";
  if (iisHint && PosCI("IIS", text) > 0)
    result += "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";
  return result;
}
