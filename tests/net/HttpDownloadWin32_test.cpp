#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "net/HttpDownload.h"
#include "support/TestFiles.h"
#include "util/SeparatorLists.h"

TEST(InetWin32, ErrorPageTestReadsTheFileWhenItExists) {
  TempDir dir;
  const std::string page = dir.File("page.bin");
  WriteBytes(page, "<html><head><title>Not here</title></head>");
  EXPECT_TRUE(IsHtmlErrorPage(page, "plain text"));
  const std::string binary = dir.File("setup.exe");
  WriteBytes(binary, std::string("MZ\x90\0", 4) + std::string(2000, 'x') + "<title>404</title>");
  EXPECT_FALSE(IsHtmlErrorPage(binary, "<title>404</title>"));  // the file wins over the text
  // A missing file: the text decides.
  EXPECT_TRUE(IsHtmlErrorPage(dir.File("missing.bin"), "<title>404</title>"));
  EXPECT_FALSE(IsHtmlErrorPage("", "data"));
  // Only the first 1000 bytes of the file count.
  const std::string late = dir.File("late.bin");
  WriteBytes(late, std::string(990, ' ') + "<TITLE>404</TITLE>");
  EXPECT_FALSE(IsHtmlErrorPage(late, ""));
}

TEST(InetWin32, IisHintLooksAtTheTextNotTheFile) {
  TempDir dir;
  const std::string page = dir.File("page.htm");
  WriteBytes(page, "<title>404 - File or directory not found.</title> Microsoft-IIS/10.0");
  std::string result;
  GetHtmlErrorPageText(page, "", "http://h/x", "dflt", true, result);
  EXPECT_EQ(result.find("IIS webserver"), std::string::npos);
  GetHtmlErrorPageText(page, "Server: Microsoft-IIS/10.0", "http://h/x", "dflt", true, result);
  EXPECT_NE(result.find("<P><P>If you are using an IIS webserver"), std::string::npos);
  GetHtmlErrorPageText(dir.File("none"), "just text", "http://h/x", "dflt", true, result);
  EXPECT_EQ(result, "dflt");
}

TEST(InetWin32, LibraryComesFromTheSystemFolderAndUnloads) {
  HTTP_Unload();
  // A refused connection: fails at once, but binds the library.
  EXPECT_EQ(HTTP_GetFileSize("http://127.0.0.1:1/x.bin"), -1);
  HMODULE module = GetModuleHandleA("wininet.dll");
  ASSERT_NE(module, nullptr);
  char path[MAX_PATH] = {}, system[MAX_PATH] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  GetSystemDirectoryA(system, MAX_PATH);
  EXPECT_TRUE(StartsWith(std::string(system) + "\\", path, true)) << path;
  HTTP_Unload();
  EXPECT_EQ(HTTP_GetFileSize("http://127.0.0.1:1/x.bin"), -1);  // binds again
  std::string error;
  std::string memory;
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, "http://127.0.0.1:1/x.bin", "", memory, nullptr, error));
  EXPECT_EQ(error, "Unable to open Internet Connection: http://127.0.0.1:1/x.bin");
  HTTP_Unload();
}
