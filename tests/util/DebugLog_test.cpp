#include "util/DebugLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Recorder {
  std::vector<std::string> chunks;
  static void Sink(void* ctx, const std::string& chunk) {
    static_cast<Recorder*>(ctx)->chunks.push_back(chunk);
  }
};

}  // namespace

TEST(DebugChannel, DropsTextWrittenBeforeItIsBound) {
  TDebugChannel ch;
  Recorder r;
  ch.WriteLine("early");
  ch.Write("partial");
  ch.Bind(Recorder::Sink, &r);
  ch.WriteLine("late");
  ASSERT_EQ(r.chunks.size(), 1u);
  EXPECT_EQ(r.chunks[0], "late\r\n");
}

TEST(DebugChannel, FlushesAtLineEndAndWhenTheBufferIsFull) {
  TDebugChannel ch;
  Recorder r;
  ch.Bind(Recorder::Sink, &r);
  ch.Write("abc");
  EXPECT_TRUE(r.chunks.empty());  // no line end, buffer not full
  ch.Write("def");
  ch.WriteLine("");
  ASSERT_EQ(r.chunks.size(), 1u);
  EXPECT_EQ(r.chunks[0], "abcdef\r\n");

  // 300 characters: 128, 128, then the last 44 with the line end.
  r.chunks.clear();
  std::string line(300, 'x');
  for (size_t i = 0; i < line.size(); ++i) line[i] = char('a' + i % 26);
  ch.WriteLine(line);
  ASSERT_EQ(r.chunks.size(), 3u);
  EXPECT_EQ(r.chunks[0], line.substr(0, 128));
  EXPECT_EQ(r.chunks[1], line.substr(128, 128));
  EXPECT_EQ(r.chunks[2], line.substr(256) + "\r\n");
  EXPECT_EQ(r.chunks[2].size(), 46u);

  // A full buffer flushes even without a line end; the rest waits.
  r.chunks.clear();
  ch.Write(std::string(130, 'q'));
  ASSERT_EQ(r.chunks.size(), 1u);
  EXPECT_EQ(r.chunks[0], std::string(128, 'q'));
  ch.WriteLine("!");
  ASSERT_EQ(r.chunks.size(), 2u);
  EXPECT_EQ(r.chunks[1], "qq!\r\n");

  // 127 characters and the line end: the CR fills the buffer, the LF follows alone.
  r.chunks.clear();
  ch.WriteLine(std::string(127, 'z'));
  ASSERT_EQ(r.chunks.size(), 2u);
  EXPECT_EQ(r.chunks[0], std::string(127, 'z') + "\r");
  EXPECT_EQ(r.chunks[1], "\n");

  // Exactly 128 characters: no empty chunk before the line end.
  r.chunks.clear();
  ch.WriteLine(std::string(128, 'y'));
  ASSERT_EQ(r.chunks.size(), 2u);
  EXPECT_EQ(r.chunks[1], "\r\n");
}

namespace {

// A sink that writes to the channel itself, as a window procedure run during a
// sent message would.
struct Reentrant {
  TDebugChannel* ch = nullptr;
  std::vector<std::string> chunks;
  int depth = 0, maxDepth = 0;
  int echoes = 0;
  static void Sink(void* ctx, const std::string& chunk) {
    auto* self = static_cast<Reentrant*>(ctx);
    ++self->depth;
    if (self->depth > self->maxDepth) self->maxDepth = self->depth;
    self->chunks.push_back(chunk);
    if (self->echoes > 0) {
      --self->echoes;
      self->ch->WriteLine("echo " + std::to_string(self->echoes));
    }
    --self->depth;
  }
};

struct Chatty {
  TDebugChannel* ch = nullptr;
  size_t calls = 0;
  static void Sink(void* ctx, const std::string&) {
    auto* self = static_cast<Chatty*>(ctx);
    ++self->calls;
    self->ch->WriteLine(std::string(100, 'n'));  // writes back forever
  }
};

}  // namespace

TEST(DebugChannel, WritesFromInsideTheSinkAreQueuedNotNested) {
  TDebugChannel ch;
  Reentrant s;
  s.ch = &ch;
  s.echoes = 2;
  ch.Bind(Reentrant::Sink, &s);
  ch.WriteLine("first");
  EXPECT_EQ(s.maxDepth, 1);
  ASSERT_EQ(s.chunks.size(), 3u);
  EXPECT_EQ(s.chunks[0], "first\r\n");
  EXPECT_EQ(s.chunks[1], "echo 1\r\n");
  EXPECT_EQ(s.chunks[2], "echo 0\r\n");
  // The channel is usable again afterwards.
  ch.WriteLine("next");
  ASSERT_EQ(s.chunks.size(), 4u);
  EXPECT_EQ(s.chunks[3], "next\r\n");
}

TEST(DebugChannel, ASinkThatAlwaysWritesBackStillEnds) {
  TDebugChannel ch;
  Chatty s;
  s.ch = &ch;
  ch.Bind(Chatty::Sink, &s);
  ch.WriteLine("go");
  // Each echo is 102 bytes; 16384 / 102 = 160 fit in the budget, then the rest is dropped.
  EXPECT_EQ(s.calls, 1u + 160u);
  EXPECT_EQ(ch.DroppedChunks(), 1u);
}

TEST(DebugSinkRules, ModesAndFileText) {
  EXPECT_TRUE(DebugModeSendsToViewer(0));
  EXPECT_FALSE(DebugModeWritesFile(0));
  EXPECT_TRUE(DebugModeWritesFile(1));
  EXPECT_FALSE(DebugModeSendsToViewer(1));
  EXPECT_TRUE(DebugModeWritesFile(2));
  EXPECT_TRUE(DebugModeSendsToViewer(2));
  for (int m : {3, 4, 255}) {
    EXPECT_FALSE(DebugModeWritesFile(uint8_t(m)));
    EXPECT_FALSE(DebugModeSendsToViewer(uint8_t(m)));
  }
  EXPECT_EQ(kDebugOutputMode, 0);

  EXPECT_EQ(DebugFileText("a\nb"), "a\r\nb");
  EXPECT_EQ(DebugFileText("a\rb"), "a\r\nb");
  EXPECT_EQ(DebugFileText("a\r\nb"), "a\r\nb");
  EXPECT_EQ(DebugFileText("\n\r"), "\r\n\r\n");    // LF then a lone CR: two line ends
  EXPECT_EQ(DebugFileText("\r\r\n"), "\r\n\r\n");  // a lone CR then CR LF
  EXPECT_EQ(DebugFileText(std::string("x\0y", 3)), "xy");
  EXPECT_EQ(DebugFileText(""), "");
}

TEST(DebugSinkRules, AtomPiecesAreShortNonEmptyCStrings) {
  EXPECT_TRUE(SplitForAtoms("").empty());
  EXPECT_TRUE(SplitForAtoms(std::string(3, '\0')).empty());
  auto one = SplitForAtoms("line\r\n");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], "line\r\n");

  std::string big(600, 'a');
  big[300] = 'B';
  auto p = SplitForAtoms(big);
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0].size(), 255u);
  EXPECT_EQ(p[1].size(), 255u);
  EXPECT_EQ(p[2].size(), 90u);
  EXPECT_EQ(p[1][45], 'B');  // position 300 = 255 + 45
  EXPECT_EQ(p[0] + p[1] + p[2], big);

  auto z = SplitForAtoms(std::string("ab\0cd", 5), 2);
  ASSERT_EQ(z.size(), 2u);
  EXPECT_EQ(z[0], "ab");
  EXPECT_EQ(z[1], "cd");
  EXPECT_EQ(SplitForAtoms(std::string(255, 'k')).size(), 1u);
  EXPECT_EQ(SplitForAtoms(std::string(256, 'k')).size(), 2u);
}

TEST(DebugLineFormats, ExceptionAndQueryLines) {
  EXPECT_EQ(ExceptionLine("Boom", "YieldX", ""), " --- YieldX () --- Boom");
  EXPECT_EQ(ExceptionLine("Access denied", "Utils.GetExeVersion()", "C:\\a.exe"),
            " --- Utils.GetExeVersion() (C:\\a.exe) --- Access denied");
  EXPECT_EQ(QueryLine("QueryValue", "C:\\x.exe", "FileVersion", "1.2"),
            "[QueryValue]  [C:\\x.exe]  [FileVersion]  [1.2]");
  EXPECT_EQ(QueryLine("", "", "", ""), "[]  []  []  []");
}

TEST(DebugLineFormats, NumbersAndBooleans) {
  EXPECT_EQ(DebugText(0LL), "0");
  EXPECT_EQ(DebugText(-42LL), "-42");
  EXPECT_EQ(DebugText(static_cast<long long>(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(DebugText(18446744073709551615ULL), "18446744073709551615");
  EXPECT_EQ(DebugText(true), "TRUE");
  EXPECT_EQ(DebugText(false), "FALSE");
}

TEST(AgentLogFormat, TimestampThreadIdIndentAndMessage) {
  LocalDateTime t;
  t.year = 2024;
  t.month = 3;
  t.day = 7;
  t.hour = 9;
  t.minute = 5;
  t.second = 2;
  EXPECT_EQ(LogTimestampOf(t, "/", ":"), "07/03/24 09:05:02");
  EXPECT_EQ(AgentLogLine(t, 1234, kDefaultAgentLogIndent, "Hello"),
            "07/03/24 09:05:02  1234   Hello\r\n");
  EXPECT_EQ(AgentLogLine(t, 7, " X ", "PerformShot"), "07/03/24 09:05:02     7 X PerformShot\r\n");
  // A long id is not cut.
  EXPECT_EQ(AgentLogLine(t, 4000000000u, "", "m"), "07/03/24 09:05:02 4000000000m\r\n");
  // The locale's separators stand in for "/" and ":".
  EXPECT_EQ(LogTimestampOf(t, ".", "."), "07.03.24 09.05.02");

  LocalDateTime late;
  late.year = 2000;
  late.month = 12;
  late.day = 31;
  late.hour = 23;
  late.minute = 59;
  late.second = 59;
  EXPECT_EQ(LogTimestampOf(late, "/", ":"), "31/12/00 23:59:59");
}

TEST(AgentLogFormat, PathBesideTheProgram) {
  EXPECT_EQ(AgentLogPathFor("C:\\App\\Setup.exe"), "C:\\App\\X_Setup.log");
  EXPECT_EQ(AgentLogPathFor("C:\\App\\X_Setup.exe"), "C:\\App\\X_Setup.log");
  EXPECT_EQ(AgentLogPathFor("C:\\App\\x_Setup.exe"), "C:\\App\\X_x_Setup.log");  // case-sensitive
  EXPECT_EQ(AgentLogPathFor("C:\\My.App\\agent"), "C:\\My.App\\X_agent.log");
  EXPECT_EQ(AgentLogPathFor("C:\\App\\a.b.exe"), "C:\\App\\X_a.b.log");
  EXPECT_EQ(AgentLogPathFor("Setup.exe"), "X_Setup.log");
}

TEST(DeveloperMode, OnlyTheExactValue) {
  EXPECT_TRUE(DeveloperModeFromValue("739"));
  EXPECT_FALSE(DeveloperModeFromValue(""));
  EXPECT_FALSE(DeveloperModeFromValue(" 739"));
  EXPECT_FALSE(DeveloperModeFromValue("7390"));
  EXPECT_FALSE(DeveloperModeFromValue("1"));
}
