#include <windows.h>

#include <wininet.h>

#include <string>

#include "net/HttpDownload.h"
#include "net/ProgressEvents.h"
#include "net/TransferRate.h"
#include "util/Cng.h"
#include "util/DebugLog.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

namespace {

// WinINet, bound on first use from the system folder (never beside the program).
struct InetLibrary {
  HMODULE module = nullptr;
  bool tried = false;
  decltype(&::InternetGetConnectedState) getConnectedState = nullptr;
  decltype(&::InternetOpenA) open = nullptr;
  decltype(&::InternetOpenUrlA) openUrl = nullptr;
  decltype(&::HttpQueryInfoA) queryInfo = nullptr;
  decltype(&::InternetReadFile) readFile = nullptr;
  decltype(&::InternetCloseHandle) closeHandle = nullptr;
  decltype(&::InternetConnectA) connect = nullptr;
  decltype(&::HttpOpenRequestA) openRequest = nullptr;
  decltype(&::HttpSendRequestA) sendRequest = nullptr;
  decltype(&::InternetSetOptionA) setOption = nullptr;
  decltype(&::InternetGetLastResponseInfoA) lastResponseInfo = nullptr;
  decltype(&::InternetCrackUrlA) crackUrl = nullptr;
};
InetLibrary g_inet;

template <typename F>
void Bind(F& fn, const char* name) {
  fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(g_inet.module, name)));
}

const InetLibrary& Inet() {
  if (!g_inet.tried) {
    g_inet.tried = true;
    UINT old = SetErrorMode(SEM_NOOPENFILEERRORBOX | SEM_FAILCRITICALERRORS);
    g_inet.module = LoadSystemLibrary(kInetLibrary);
    SetErrorMode(old);
    if (g_inet.module) {
      Bind(g_inet.getConnectedState, "InternetGetConnectedState");
      Bind(g_inet.open, "InternetOpenA");
      Bind(g_inet.openUrl, "InternetOpenUrlA");
      Bind(g_inet.queryInfo, "HttpQueryInfoA");
      Bind(g_inet.readFile, "InternetReadFile");
      Bind(g_inet.closeHandle, "InternetCloseHandle");
      Bind(g_inet.connect, "InternetConnectA");
      Bind(g_inet.openRequest, "HttpOpenRequestA");
      Bind(g_inet.sendRequest, "HttpSendRequestA");
      Bind(g_inet.setOption, "InternetSetOptionA");
      Bind(g_inet.lastResponseInfo, "InternetGetLastResponseInfoA");
      Bind(g_inet.crackUrl, "InternetCrackUrlA");
    }
  }
  return g_inet;
}

// Owner of one internet handle.
class InetHandle {
 public:
  explicit InetHandle(HINTERNET h = nullptr) : h_(h) {}
  ~InetHandle() { reset(); }
  InetHandle(const InetHandle&) = delete;
  InetHandle& operator=(const InetHandle&) = delete;
  InetHandle(InetHandle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  InetHandle& operator=(InetHandle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = o.h_;
      o.h_ = nullptr;
    }
    return *this;
  }
  explicit operator bool() const { return h_ != nullptr; }
  HINTERNET get() const { return h_; }
  void reset() {
    if (h_ && Inet().closeHandle) Inet().closeHandle(h_);
    h_ = nullptr;
  }

 private:
  HINTERNET h_;
};

// The connection (credentialed path only) outlives its request.
struct OpenedUrl {
  InetHandle connection;
  InetHandle request;
  DWORD error = 0;  // why the request could not be made (a refused certificate, ...)
};

// Always from the server, never into the user's internet cache.
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

InetHandle OpenInternet(const char* agent) {
  const InetLibrary& inet = Inet();
  if (!inet.open) return InetHandle();
  return InetHandle(inet.open(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0));
}

InetHandle OpenPlainUrl(HINTERNET internet, const std::string& url) {
  const InetLibrary& inet = Inet();
  if (!inet.openUrl) return InetHandle();
  return InetHandle(inet.openUrl(internet, DownloadUrl(url).c_str(), nullptr, 0, kOpenFlags, 0));
}

// A request by its parts: scheme, host and port from the URL (InternetCrackUrlA).
// HTTP and HTTPS only; other schemes give no handle.
OpenedUrl OpenRequest(HINTERNET internet, const std::string& url, const char* verb, const std::string& user,
                      const std::string& password) {
  OpenedUrl opened;
  const InetLibrary& inet = Inet();
  if (!inet.crackUrl || !inet.connect || !inet.openRequest || !inet.sendRequest) return opened;
  const std::string full = DownloadUrl(url);
  // Lengths without buffers: the parts come back as pointers into full.
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (!inet.crackUrl(full.c_str(), DWORD(full.size()), 0, &parts) || !parts.lpszHostName) return opened;
  const std::string host(parts.lpszHostName, parts.dwHostNameLength);
  std::string path = parts.lpszUrlPath ? std::string(parts.lpszUrlPath, parts.dwUrlPathLength) : "";
  if (parts.lpszExtraInfo) path += std::string(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty() || path[0] != '/') path.insert(0, 1, '/');
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return opened;
  DWORD flags = kOpenFlags;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  opened.connection = InetHandle(inet.connect(internet, host.c_str(), parts.nPort,
                                              user.empty() ? nullptr : user.c_str(),
                                              user.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
  if (!opened.connection) return opened;
  InetHandle request(inet.openRequest(opened.connection.get(), verb, path.c_str(), nullptr, nullptr, nullptr, flags, 0));
  if (request && inet.sendRequest(request.get(), nullptr, 0, nullptr, 0))
    opened.request = std::move(request);
  else
    opened.error = GetLastError();  // before the handle's close can change it
  return opened;
}

OpenedUrl OpenUrl(HINTERNET internet, const std::string& url, const std::string& user, const std::string& password) {
  if (!user.empty()) return OpenRequest(internet, url, "GET", user, password);
  OpenedUrl opened;
  opened.request = OpenPlainUrl(internet, url);
  if (!opened.request) opened.error = GetLastError();
  return opened;
}

// Headers only: closing an unread GET makes the library drain the whole body so
// that it can reuse the connection, which costs a second download of the file.
OpenedUrl OpenHead(HINTERNET internet, const std::string& url) { return OpenRequest(internet, url, "HEAD", "", ""); }

// Wakes a dial-up line and lets proxies and servers see the URL once.
void ProbeUrl(const std::string& url) {
  InetHandle internet = OpenInternet(kProbeAgent);
  if (!internet) return;
  OpenHead(internet.get(), url);
}

void SetTimeouts(HINTERNET handle, DWORD ms) {
  const InetLibrary& inet = Inet();
  if (!inet.setOption) return;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_CONTROL_SEND_TIMEOUT, INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_CONTROL_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
    DWORD value = ms;
    inet.setOption(handle, option, &value, sizeof(value));
  }
}

uint32_t QueryStatus(HINTERNET request) {
  const InetLibrary& inet = Inet();
  DWORD status = 0, size = sizeof(status);
  if (!inet.queryInfo || !inet.queryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                                         nullptr))
    return 0;
  return status;
}

// Read as text: the number form is 32 bits and cannot tell 4 GB - 1 from "none".
int64_t QueryContentLength(HINTERNET request) {
  const InetLibrary& inet = Inet();
  char text[32] = {};
  DWORD size = sizeof(text) - 1;
  if (!inet.queryInfo || !inet.queryInfo(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return -1;
  return ParseContentLength(std::string(text, size < sizeof(text) ? size : sizeof(text) - 1));
}

uint32_t QueryLastModified(HINTERNET request) {
  const InetLibrary& inet = Inet();
  SYSTEMTIME t{};
  DWORD size = sizeof(t);
  if (!inet.queryInfo ||
      !inet.queryInfo(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &t, &size, nullptr))
    return 0;
  return DosDateTimeOf(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

// WinINet's own codes (12000 and up) have their texts in its module.
std::string InetErrorText(DWORD code) {
  if (code == 0) return "";
  char* text = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  if (g_inet.module) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  DWORD n = FormatMessageA(flags, g_inet.module, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = n && text ? TidyErrorText(std::string(text, n)) : "";
  if (text) LocalFree(text);
  return result.empty() ? "error " + std::to_string(code) : result;
}

std::string ReadFailureText(const std::string& displayName, DWORD code) {
  std::string detail = InetErrorText(code);
  if (detail.empty() && Inet().lastResponseInfo) {
    char buffer[1024] = {};
    DWORD error = 0, size = sizeof(buffer);
    if (Inet().lastResponseInfo(&error, buffer, &size)) detail.assign(buffer, size < sizeof(buffer) ? size : 0);
    detail = Trim(detail);
  }
  std::string text = displayName + " --- Error downloading file";
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

// At most limit bytes of the body, for judging an error answer.
std::string ReadBodyHead(HINTERNET request, size_t limit) {
  const InetLibrary& inet = Inet();
  char buffer[kErrorPagePrefix];
  if (limit > sizeof(buffer)) limit = sizeof(buffer);
  size_t have = 0;
  while (inet.readFile && have < limit) {
    DWORD got = 0;
    if (!inet.readFile(request, buffer + have, DWORD(limit - have), &got) || got == 0) break;
    if (got > limit - have) break;  // never trust a count beyond what we asked for
    have += got;
  }
  return std::string(buffer, have);
}

// Deletes the partial files of earlier attempts: local file + "." + digits only.
void PurgeTempFiles(const std::string& localFile) {
  const std::string mask = localFile + ".*";
  const size_t cut = localFile.find_last_of("\\/:");
  const std::string folder = cut == std::string::npos ? "" : localFile.substr(0, cut + 1);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(mask.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (!IsTempDownloadName(localFile, found.cFileName)) continue;
    const std::string path = folder + found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

std::string Download(HWND owner, const std::string& url, const std::string& localFile, const std::string& user,
                     const std::string& password, TProgBar* progress, std::string& memoryData,
                     std::string* sha256 = nullptr) {
  const std::string displayName = DownloadDisplayName(url);
  memoryData.clear();
  ProbeUrl(url);
  InetHandle internet = OpenInternet(kDownloadAgent);
  if (!internet) return std::string("Unable to initialize \"") + kInetLibrary + "\"";
  SetTimeouts(internet.get(), kInetTimeoutMs);
  const uint64_t openedAt = MilliClock();
  OpenedUrl opened = OpenUrl(internet.get(), url, user, password);
  if (!opened.request) {
    // The text stays the one users and support know; the reason goes to the trace.
    if (opened.error)
      DebugWriteLine(IntToStr(GetCurrentProcessId()) + " --- " + url + ": " + InetErrorText(opened.error) + " (" +
                     IntToStr(int64_t(opened.error)) + ")");
    return "Unable to open Internet Connection: " + url;
  }
  HINTERNET request = opened.request.get();
  const uint32_t status = QueryStatus(request);
  if (!StatusAccepted(status)) {
    // 404 and 410 say it all; for others the start of the body tells an error page.
    const bool known = StatusMeansMissingFile(status, "");
    return StatusErrorText(url, status, known ? "" : ReadBodyHead(request, kErrorPagePrefix));
  }
  const int64_t size = QueryContentLength(request);
  const uint32_t lastModified = QueryLastModified(request);
  if (size == 0) return url + " --- File Not Found !";
  const bool toFile = !localFile.empty();
  TransferEnd end;
  end.announced = size;
  if (!toFile && size > int64_t(kMemoryDownloadCap)) {
    end.tooLarge = true;
    return TransferErrorText(end, displayName, "");
  }
  if (uintptr_t(owner) > 10) ShowWindow(owner, SW_SHOW);

  std::string target;
  WinHandle file;
  if (toFile) {
    target = TempDownloadName(localFile, size, lastModified);
    PurgeTempFiles(localFile);
    file.reset(CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) return displayName + " --- Unable to create " + target + " (" + LastErrorText() + ")";
  }

  const uint32_t chunk = DownloadChunkSize(size);
  if (progress) progress->Start(1, ProgressMaximum(size, chunk));
  const RateModes modes = RateModesFor(size);
  TBytesRate rate(modes.kilobytes, modes.megabytes);
  if (progress) progress->SetCaption(displayName);

  const InetLibrary& inet = Inet();
  char buffer[kReadBufferSize];
  std::string failure;
  // The digest comes with the bytes as they are stored: no second pass over the file.
  Sha256Hasher hasher;
  if (sha256) sha256->clear();
  for (;;) {
    PumpPendingMessages();
    DWORD got = 0;
    if (!inet.readFile || !inet.readFile(request, buffer, chunk, &got)) {
      end.readFailed = true;
      failure = ReadFailureText(displayName, GetLastError());
      got = 0;
    } else if (got > chunk) {
      end.readFailed = true;  // never trust a count beyond the buffer we gave
      got = 0;
    } else if (got == 0) {
      end.cleanEnd = true;
    } else if (toFile) {
      DWORD written = 0;
      if (!WriteFile(file.get(), buffer, got, &written, nullptr) || written != got) {
        end.storeFailed = true;
        failure = displayName + " --- Error writing " + target + " (" + LastErrorText() + ")";
      }
    } else if (memoryData.size() + got > kMemoryDownloadCap) {
      end.tooLarge = true;
    } else {
      memoryData.append(buffer, got);
    }
    if (!end.storeFailed && !end.tooLarge) {
      end.received += got;
      if (sha256) hasher.Update(buffer, got);
    }
    rate.Sample(got);
    if (got > 0 && progress) {
      if (progress->StepDue())
        progress->Step(rate.Text(size, end.received));
      else
        progress->Step();
    }
    end.cancelled = progress && progress->Cancelled();
    end.aborted = AbortFlag();
    if (got == 0 || end.storeFailed || end.tooLarge || end.cancelled || end.aborted) break;
  }

  // The transfer's own time, from the request to the last read, for measurements.
  DebugWriteLine(IntToStr(GetCurrentProcessId()) + " HTTP_DownloadTime: " + IntToStr(int64_t(end.received)) +
                 " bytes in " + IntToStr(int64_t(MilliClock() - openedAt)) + " ms");
  std::string error = TransferErrorText(end, displayName, failure);
  Sha256Digest digest{};
  if (sha256 && error.empty() && hasher.Finish(digest)) sha256->assign(digest.begin(), digest.end());
  if (toFile) {
    file.reset();
    if (error.empty() && !MoveFileExA(target.c_str(), localFile.c_str(), MOVEFILE_REPLACE_EXISTING))
      error = displayName + " --- Unable to replace " + localFile + " (" + LastErrorText() + ")";
    if (!error.empty()) DeleteFileA(target.c_str());
  }
  if (!error.empty()) memoryData.clear();
  return error;
}

}  // namespace

bool HTTP_IsConnected(std::string& errorText) {
  errorText.clear();
  const InetLibrary& inet = Inet();
  DWORD flags = 0;
  if (!inet.getConnectedState) {
    errorText = std::string("Unable to initialize \"") + kInetLibrary + "\"";
    return false;
  }
  if (!inet.getConnectedState(&flags, 0)) {
    errorText = LastErrorText();
    return false;
  }
  return true;
}

void HTTP_SetAbort(bool on) { SetAbortFlag(on); }

bool HTTP_Aborted() { return AbortFlag(); }

int64_t HTTP_GetFileSize(const std::string& url) {
  ProbeUrl(url);
  InetHandle internet = OpenInternet(kProbeAgent);
  if (!internet) return -1;
  OpenedUrl opened = OpenHead(internet.get(), url);
  if (!opened.request) opened.request = OpenPlainUrl(internet.get(), url);  // not HTTP: the plain open
  if (!opened.request) return -1;
  HINTERNET request = opened.request.get();
  // An error page's length is not the file's size.
  int64_t size = StatusAccepted(QueryStatus(request)) ? QueryContentLength(request) : -1;
  DebugWriteLine("HTTP_GetFileSize=" + IntToStr(size) + "  " + url);
  return size;
}

bool HTTP_DownloadFile_Incremental(HWND owner, const std::string& url, const std::string& localFile,
                                   const std::string& user, const std::string& password, TProgBar* progress,
                                   std::string& memoryData, std::string& errorText) {
  errorText = Download(owner, url, localFile, user, password, progress, memoryData);
  if (!errorText.empty())
    DebugWriteLine(IntToStr(GetCurrentProcessId()) + " HTTP_DownloadFile_Incremental: " + errorText);
  return errorText.empty();
}

bool HTTP_DownloadFile_Hashed(HWND owner, const std::string& url, const std::string& localFile, TProgBar* progress,
                              std::string& sha256, std::string& errorText) {
  std::string unused;
  errorText = Download(owner, url, localFile, "", "", progress, unused, &sha256);
  if (!errorText.empty())
    DebugWriteLine(IntToStr(GetCurrentProcessId()) + " HTTP_DownloadFile_Incremental: " + errorText);
  return errorText.empty();
}

bool HTTP_DownloadFile_Incremental(HWND owner, const std::string& url, const std::string& localFile,
                                   std::string& memoryData, TProgBar* progress, std::string& errorText) {
  return HTTP_DownloadFile_Incremental(owner, url, localFile, "", "", progress, memoryData, errorText);
}

bool IsHtmlErrorPage(const std::string& fileName, const std::string& text) {
  if (!fileName.empty() && GetFileAttributesA(fileName.c_str()) != INVALID_FILE_ATTRIBUTES) {
    WinHandle file(CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char head[kErrorPagePrefix];
    DWORD got = 0;
    if (file.ok() && ReadFile(file.get(), head, sizeof(head), &got, nullptr) && got <= sizeof(head))
      return LooksLikeHtmlErrorPage(std::string(head, got));
    return LooksLikeHtmlErrorPage("");
  }
  return LooksLikeHtmlErrorPage(text);
}

void GetHtmlErrorPageText(const std::string& fileName, const std::string& text, const std::string& url,
                          const std::string& defaultText, bool iisHint, std::string& result) {
  result = ErrorPageMessage(IsHtmlErrorPage(fileName, text), text, url, defaultText, iisHint);
}

void HTTP_Unload() {
  HMODULE module = g_inet.module;
  g_inet = InetLibrary();
  if (module) FreeLibrary(module);
}
