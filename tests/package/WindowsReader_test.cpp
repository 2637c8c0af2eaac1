// The Win32 file layer under the reader: files the builder wrote, read through
// CreateFileA, shared with writers, on real drives.
#include <windows.h>

#include <gtest/gtest.h>

#include "PackageWriter.h"
#include "package/PackageReader.h"
#include "support/TestFiles.h"

namespace {

struct Handle {
  HANDLE h;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

BuildOptions SmallSetup(const TempDir& dir) {
  WriteBytes(dir.File("stub.exe"), MakeStubImage(8192));
  WriteBytes(dir.File("readme.txt"), "Read me first.\r\n");
  WriteBytes(dir.File("Engine.exe"), NoiseBytes(70000));
  BuildOptions o;
  o.stubPath = dir.File("stub.exe");
  o.outputPath = dir.File("setup.exe");
  o.files = {{dir.File("readme.txt"), "readme.txt", "", false, {}},
             {dir.File("Engine.exe"), "Engine.exe", "/X", true, {}}};
  o.token = "windows-token";
  o.agentName = "Agent.exe";
  o.fixedDate = 1796823930;
  return o;
}

}  // namespace

TEST(WindowsReader, ReadsWhatTheBuilderWrote) {
  TempDir dir;
  BuildOptions o = SmallSetup(dir);
  BuildResult result;
  std::string error;
  ASSERT_TRUE(WritePackage(o, result, error)) << error;
  TGFileInfo info(o.outputPath);
  ASSERT_TRUE(info.IsValid());
  EXPECT_EQ(info.GetPackageToken(true), "windows-token");
  EXPECT_EQ(info.GetAgentName(), "Agent.exe");
  EXPECT_TRUE(IsStampedCapable(o.outputPath));
  UnpackedPackage unpacked = UnpackForTest(o.outputPath);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(unpacked.files["Engine.exe"], NoiseBytes(70000));
  EXPECT_EQ(unpacked.nameFields[1], "|Engine.exe*/X|1569287599|");
}

TEST(WindowsReader, SharesTheFileWithAWriter) {
  TempDir dir;
  BuildOptions o = SmallSetup(dir);
  BuildResult result;
  std::string error;
  ASSERT_TRUE(WritePackage(o, result, error)) << error;
  // Another program holds the setup file open for writing: the reader still opens it.
  Handle writer{CreateFileA(o.outputPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr)};
  ASSERT_NE(writer.h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(TGFileInfo(o.outputPath).IsValid());
  EXPECT_TRUE(FileExists(o.outputPath));
  EXPECT_FALSE(FileExists(dir.Path()));  // a folder is not a file
}

TEST(WindowsReader, ClusterSizeOfRealDrives) {
  TempDir dir;
  uint64_t cluster = ClusterSize(dir.Path());
  EXPECT_GE(cluster, 512u);
  EXPECT_EQ(cluster & (cluster - 1), 0u);  // a power of two
  EXPECT_EQ(ClusterSize("Q:\\no\\such\\drive"), 0u);
}
