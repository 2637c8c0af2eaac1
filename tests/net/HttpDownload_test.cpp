#include "net/HttpDownload.h"

#include <gtest/gtest.h>

#include <string>

TEST(InetChunks, TenthOfTheSizeClampedToOneAndTheBuffer) {
  EXPECT_EQ(DownloadChunkSize(0), 1u);
  EXPECT_EQ(DownloadChunkSize(9), 1u);
  EXPECT_EQ(DownloadChunkSize(25), 2u);
  EXPECT_EQ(DownloadChunkSize(50000), 5000u);
  EXPECT_EQ(DownloadChunkSize(81920), 8192u);
  EXPECT_EQ(DownloadChunkSize(81939), 8192u);
  EXPECT_EQ(DownloadChunkSize(5000000000LL), 8192u);
  EXPECT_EQ(DownloadChunkSize(-1), 8192u);  // no Content-Length
}

TEST(InetChunks, ProgressMaximumIsStepsPlusOneIn32Bits) {
  EXPECT_EQ(ProgressMaximum(100000, 8192), 14);  // 12.2 -> 13 steps
  EXPECT_EQ(ProgressMaximum(3000000, 8192), 368);
  EXPECT_EQ(ProgressMaximum(50, 5), 11);
  EXPECT_EQ(ProgressMaximum(1, 1), 2);
  EXPECT_EQ(ProgressMaximum(-1, 8192), 524289);  // 0xFFFFFFFF / 8192 rounded up, + 1
  EXPECT_EQ(ProgressMaximum(10, 0), 11);         // a zero chunk never divides
}

TEST(InetTempNames, SizePlusLastModifiedAs32BitUnsigned) {
  EXPECT_EQ(TempDownloadName("C:\\d\\f.exe", 100, 0), "C:\\d\\f.exe.100");
  EXPECT_EQ(TempDownloadName("f", 100, 0x58656DAF), "f.1483042323");  // 1483042223 + 100
  EXPECT_EQ(TempDownloadName("f", 0xFFFFFFFFLL, 2), "f.1");  // wraps at 32 bits
  EXPECT_EQ(TempDownloadName("f", -1, 0), "f.4294967295");
}

TEST(InetTempNames, PurgeMatchesOnlyDigitEndings) {
  EXPECT_TRUE(IsTempDownloadName("C:\\d\\f.exe", "f.exe.123"));
  EXPECT_TRUE(IsTempDownloadName("C:\\d\\f.exe", "F.EXE.0"));
  EXPECT_TRUE(IsTempDownloadName("C:\\d\\f.exe", "C:\\d\\f.exe.4294967295"));
  EXPECT_FALSE(IsTempDownloadName("C:\\d\\f.exe", "f.exe"));
  EXPECT_FALSE(IsTempDownloadName("C:\\d\\f.exe", "f.exe."));
  EXPECT_FALSE(IsTempDownloadName("C:\\d\\f.exe", "f.exe.bak"));
  EXPECT_FALSE(IsTempDownloadName("C:\\d\\f.exe", "f.exe.12a"));
  EXPECT_FALSE(IsTempDownloadName("C:\\d\\f.exe", "f.exe.1.2"));
  EXPECT_FALSE(IsTempDownloadName("C:\\d\\f.exe", "xf.exe.1"));
  EXPECT_FALSE(IsTempDownloadName("C:\\d\\f.exe", "f.exe.ini"));
  EXPECT_FALSE(IsTempDownloadName("", ".1"));
}

TEST(InetTempNames, DosDateTime) {
  // 2024-03-05 13:45:31: date (44 << 9 | 3 << 5 | 5), time (13 << 11 | 45 << 5 | 15)
  EXPECT_EQ(DosDateTimeOf(2024, 3, 5, 13, 45, 31), 0x58656DAFu);
  EXPECT_EQ(DosDateTimeOf(1980, 1, 1, 0, 0, 0), 0x00210000u);
  EXPECT_EQ(DosDateTimeOf(2107, 12, 31, 23, 59, 58), 0xFF9FBF7Du);
  EXPECT_EQ(DosDateTimeOf(2024, 2, 29, 0, 0, 0), 0x585D0000u);
  EXPECT_EQ(DosDateTimeOf(1979, 12, 31, 23, 59, 59), 0u);
  EXPECT_EQ(DosDateTimeOf(2108, 1, 1, 0, 0, 0), 0u);
  EXPECT_EQ(DosDateTimeOf(2023, 2, 29, 0, 0, 0), 0u);
  EXPECT_EQ(DosDateTimeOf(2024, 13, 1, 0, 0, 0), 0u);
  EXPECT_EQ(DosDateTimeOf(2024, 4, 31, 0, 0, 0), 0u);
  EXPECT_EQ(DosDateTimeOf(2024, 1, 1, 24, 0, 0), 0u);
  EXPECT_EQ(DosDateTimeOf(0, 0, 0, 0, 0, 0), 0u);  // a zeroed SYSTEMTIME
}

TEST(InetUrls, DisplayNameIsTheLastPathElement) {
  EXPECT_EQ(DownloadDisplayName("http://h/a/b/setup.exe"), "setup.exe");
  EXPECT_EQ(DownloadDisplayName("http://h/a\\b/c.ini"), "c.ini");
  EXPECT_EQ(DownloadDisplayName("setup.exe"), "setup.exe");
  EXPECT_EQ(DownloadDisplayName("http://h/dir/"), "");
}

TEST(InetUrls, HttpGoesInFrontOnlyWithoutAScheme) {
  EXPECT_EQ(DownloadUrl("host/x.exe"), "http://host/x.exe");
  EXPECT_EQ(DownloadUrl("localhost:8080/x"), "http://localhost:8080/x");
  EXPECT_EQ(DownloadUrl("www.x.com/get?from=http://y/z"), "http://www.x.com/get?from=http://y/z");
  EXPECT_EQ(DownloadUrl("https://h/x"), "https://h/x");
  EXPECT_EQ(DownloadUrl("HTTP://h/x"), "HTTP://h/x");
  EXPECT_EQ(DownloadUrl("ftp://h/x"), "ftp://h/x");
  EXPECT_EQ(DownloadUrl("http://h:81/x"), "http://h:81/x");
  EXPECT_FALSE(HasUrlScheme("1http://h"));
  EXPECT_FALSE(HasUrlScheme(""));
  EXPECT_FALSE(HasUrlScheme("http:/h"));
}

TEST(InetHeaders, ContentLengthIsDigitsOnly) {
  EXPECT_EQ(ParseContentLength("123"), 123);
  EXPECT_EQ(ParseContentLength(" 42 "), 42);
  EXPECT_EQ(ParseContentLength("0"), 0);
  EXPECT_EQ(ParseContentLength("5000000000"), 5000000000LL);
  EXPECT_EQ(ParseContentLength(""), -1);
  EXPECT_EQ(ParseContentLength("-5"), -1);
  EXPECT_EQ(ParseContentLength("+5"), -1);
  EXPECT_EQ(ParseContentLength("12a"), -1);
  EXPECT_EQ(ParseContentLength("1 2"), -1);
  EXPECT_EQ(ParseContentLength("99999999999999999999"), -1);
}

TEST(InetStatus, OnlySuccessCodesAreAccepted) {
  EXPECT_TRUE(StatusAccepted(200));
  EXPECT_TRUE(StatusAccepted(206));
  EXPECT_TRUE(StatusAccepted(299));
  EXPECT_TRUE(StatusAccepted(0));  // no status: a scheme without codes
  EXPECT_FALSE(StatusAccepted(199));
  EXPECT_FALSE(StatusAccepted(304));
  EXPECT_FALSE(StatusAccepted(401));
  EXPECT_FALSE(StatusAccepted(404));
  EXPECT_FALSE(StatusAccepted(500));
}

TEST(InetStatus, MissingFileTextForNotFoundGoneAndHtmlErrorPages) {
  const std::string missing =
      "<B>404 File Not Found...</B><P><P>URL:  http://h/d/x.exe.<P><P>Please make sure the file is available "
      "and access is allowed to this file.";
  const std::string apache500 =
      "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n<title>500 Internal Server "
      "Error</title>\n</head><body>";
  const std::string tomcat500 = "<!doctype html><html lang=\"en\"><head><title>HTTP Status 500</title>";
  // 404 and 410 whatever the body: an HTML page, plain text or none.
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 404, ""), missing);
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 404, "404 Not Found\n"), missing);
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 410, ""), missing);
  // Another status with an error page in the form the page rules know.
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 500, apache500), missing);
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 403, "<title>404 hidden</title>"), missing);
  // Other statuses and bodies keep their code; an IIS body adds no hint here.
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 500, "500 Internal Server Error\n"),
            "http://h/d/x.exe --- HTTP status 500");
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 500, tomcat500), "http://h/d/x.exe --- HTTP status 500");
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 401, ""), "http://h/d/x.exe --- HTTP status 401");
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 404, "<title>404</title> Microsoft-IIS"), missing);
  // A page that starts beyond the first 1000 bytes does not count.
  EXPECT_EQ(StatusErrorText("http://h/d/x.exe", 502, std::string(1000, ' ') + apache500),
            "http://h/d/x.exe --- HTTP status 502");
  EXPECT_TRUE(StatusMeansMissingFile(410, ""));
  EXPECT_FALSE(StatusMeansMissingFile(503, "Service Unavailable"));
}

TEST(InetTransfer, CompleteOnlyWhenItIs) {
  TransferEnd e;
  e.announced = 1000;
  e.received = 1000;
  e.cleanEnd = true;
  EXPECT_EQ(TransferErrorText(e, "f.exe", ""), "");

  TransferEnd shortEnd = e;
  shortEnd.received = 900;
  EXPECT_EQ(TransferErrorText(shortEnd, "f.exe", ""), "f.exe --- Incomplete download (900 of 1000 bytes)");
  TransferEnd longEnd = e;
  longEnd.received = 1001;
  EXPECT_EQ(TransferErrorText(longEnd, "f.exe", ""), "f.exe --- Incomplete download (1001 of 1000 bytes)");

  // No Content-Length: the clean end decides, and the received bytes are the size.
  TransferEnd open;
  open.received = 777;
  open.cleanEnd = true;
  EXPECT_EQ(TransferErrorText(open, "f.exe", ""), "");
  open.cleanEnd = false;
  EXPECT_EQ(TransferErrorText(open, "f.exe", ""), "f.exe --- Error downloading file");
}

TEST(InetTransfer, FailuresAndStopsHaveTheirTexts) {
  TransferEnd e;
  e.announced = 1000;
  e.received = 1000;
  e.cleanEnd = true;
  TransferEnd aborted = e;
  aborted.aborted = true;
  EXPECT_EQ(TransferErrorText(aborted, "f.exe", ""), "Download Aborted");  // even when all bytes came
  TransferEnd cancelled = e;
  cancelled.cancelled = true;
  cancelled.readFailed = true;
  EXPECT_EQ(TransferErrorText(cancelled, "f.exe", "f.exe --- Error downloading file (x)"), "Download Aborted");
  TransferEnd failed;
  failed.announced = 1000;
  failed.readFailed = true;
  EXPECT_EQ(TransferErrorText(failed, "f.exe", "f.exe --- Error downloading file (reset)"),
            "f.exe --- Error downloading file (reset)");
  EXPECT_EQ(TransferErrorText(failed, "f.exe", ""), "f.exe --- Error downloading file");
  TransferEnd store = e;
  store.storeFailed = true;
  EXPECT_EQ(TransferErrorText(store, "f.exe", "disk full"), "disk full");
  TransferEnd big;
  big.tooLarge = true;
  EXPECT_EQ(TransferErrorText(big, "i.ini", ""), "i.ini --- File too large (more than 1048576 bytes)");
}

TEST(InetErrorPage, RuleA404InTheTitle) {
  EXPECT_TRUE(LooksLikeHtmlErrorPage("<title>404 Not Found</title>"));
  EXPECT_TRUE(LooksLikeHtmlErrorPage("<TiTlE lang=en>Error 404</tItLe>"));
  EXPECT_TRUE(LooksLikeHtmlErrorPage("<html xmlns=\"x\"><head><title>404 - File or directory not found.</title>"));
  // The first "404" stands before the title.
  EXPECT_FALSE(LooksLikeHtmlErrorPage("<p>404</p><title>x 404</title>"));
  EXPECT_FALSE(LooksLikeHtmlErrorPage("<title>Not Found</title> 404"));
  EXPECT_FALSE(LooksLikeHtmlErrorPage("404 <title>x</title>"));
}

TEST(InetErrorPage, RuleBAnyWellFormedPage) {
  EXPECT_TRUE(LooksLikeHtmlErrorPage("<html><head><title>Welcome</title></head>"));
  EXPECT_TRUE(LooksLikeHtmlErrorPage("<!DOCTYPE x>\n<HTML>\n<HEAD>\n<TITLE>500 Error</TITLE>"));
  EXPECT_FALSE(LooksLikeHtmlErrorPage("<head><html><title>x</title>"));
  EXPECT_FALSE(LooksLikeHtmlErrorPage("<html lang=\"en\"><head><title>HTTP Status 500</title>"));
  EXPECT_FALSE(LooksLikeHtmlErrorPage("<html><head><title>never closed"));
  EXPECT_FALSE(LooksLikeHtmlErrorPage(std::string("MZ\x90\0\x03\0\0\0", 8) + "PE"));
  EXPECT_FALSE(LooksLikeHtmlErrorPage(""));
}

TEST(InetErrorPage, OnlyTheFirst1000Characters) {
  const std::string page = "<TITLE>404</TITLE>";  // 18 characters
  EXPECT_TRUE(LooksLikeHtmlErrorPage(std::string(1000 - page.size(), ' ') + page));
  EXPECT_FALSE(LooksLikeHtmlErrorPage(std::string(1001 - page.size(), ' ') + page));
}

TEST(InetErrorPage, MessageAndIisHint) {
  const std::string message =
      "<B>404 File Not Found...</B><P><P>URL:  http://h/x.ini.<P><P>Please make sure the file is available "
      "and access is allowed to this file.";
  const std::string hint = "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";
  EXPECT_EQ(ErrorPageMessage(false, "Microsoft-IIS", "http://h/x.ini", "dflt", true), "dflt");
  EXPECT_EQ(ErrorPageMessage(true, "<title>404</title>", "http://h/x.ini", "dflt", true), message);
  EXPECT_EQ(ErrorPageMessage(true, "Microsoft-iis/10", "http://h/x.ini", "dflt", true), message + hint);
  EXPECT_EQ(ErrorPageMessage(true, "Microsoft-IIS/10", "http://h/x.ini", "dflt", false), message);
}
