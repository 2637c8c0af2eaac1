#include "dialogs/InformDialog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(InformAddress, OnlyWebAddressesAreOpened) {
  struct Case {
    const char* given;
    const char* opened;  // "" = refused
  } cases[] = {
      {"http://example.com/setup.exe", "http://example.com/setup.exe"},
      {"  HTTPS://Example.com:8080/a?b=c#d \r\n", "HTTPS://Example.com:8080/a?b=c#d"},
      {"www.example.com", "http://www.example.com"},
      {"WWW.example.com/x", "http://WWW.example.com/x"},
      {"http://[::1]/", "http://[::1]/"},
      {"C:\\Windows\\notepad.exe", ""},
      {"notepad.exe", ""},
      {"calc", ""},
      {"file:///C:/Windows/notepad.exe", ""},
      {"\\\\host\\share\\setup.exe", ""},
      {"mailto:sales@example.com", ""},
      {"ftp://example.com/", ""},
      {"javascript:alert(1)", ""},
      {"http://", ""},                      // no host
      {"http:///etc/passwd", ""},
      {"http:\\\\host\\share", ""},
      {"http://host\\share", ""},
      {"http://example.com/a b", ""},       // would split the browser's command line
      {"http://example.com/\" --flag \"", ""},
      {"http://exa\tmple.com", ""},
      {"http://ex!ample.com/", ""},
      {"wwwexample.com", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(InformAddressToOpen(c.given), c.opened) << c.given;
  EXPECT_EQ(InformAddressToOpen("http://e.com/" + std::string(kMaxInformAddress, 'a')), "");
}

TEST(InformDecision, TextShowsTheDialogAndAnEmptyTextOpensOnlyWebAddresses) {
  InformDecision shown = DecideInform("{\\rtf1 Hi}", "  C:\\x.exe ");
  EXPECT_EQ(shown.action, InformAction::ShowDialog);
  EXPECT_EQ(shown.address, "C:\\x.exe");  // the button refuses it when pressed
  EXPECT_EQ(DecideInform("Hi", " \t").address, "");

  InformDecision open = DecideInform("", " www.example.com ");
  EXPECT_EQ(open.action, InformAction::OpenAddress);
  EXPECT_EQ(open.address, "http://www.example.com");
  for (const char* refused : {"C:\\Windows\\notepad.exe", "\\\\host\\share", "file:///C:/x", "cmd"})
    EXPECT_EQ(DecideInform("", refused).action, InformAction::Refuse) << refused;
  EXPECT_EQ(DecideInform("", "   ").action, InformAction::Nothing);
  EXPECT_EQ(DecideInform("", "").action, InformAction::Nothing);
}

TEST(InformFont, TheDefaultFaceGivesVerdana) {
  EXPECT_EQ(InformTextFontName("Tahoma"), "Verdana");
  EXPECT_EQ(InformTextFontName("tahoma"), "Verdana");
  EXPECT_EQ(InformTextFontName(""), "Verdana");
  EXPECT_EQ(InformTextFontName("Arial"), "Arial");
  EXPECT_EQ(InformTextFontName("MS PGothic"), "MS PGothic");
}

TEST(InformLayout, TheBandAndTheButtonOnlyWithAnAddress) {
  InformLayout with = InformDialogLayout(355, 333, true);
  EXPECT_EQ(with.text, (InformRect{3, 0, 352, 290}));
  EXPECT_TRUE(with.button);
  EXPECT_EQ(with.buttonRect, (InformRect{97, 300, 160, 25}));  // (355 - 160) / 2 rounds down
  EXPECT_EQ(with.lineY, 290);
  EXPECT_EQ(with.bandTop, 291);

  InformLayout without = InformDialogLayout(355, 333, false);
  EXPECT_EQ(without.text, (InformRect{3, 0, 352, 333}));
  EXPECT_FALSE(without.button);
  EXPECT_EQ(without.lineY, -1);

  // A client smaller than the band (while the window is being made) gives no negative sizes.
  InformLayout tiny = InformDialogLayout(0, 10, true);
  EXPECT_EQ(tiny.text, (InformRect{3, 0, 0, 0}));
}

TEST(InformLayout, TheWindowIsCentredAndKeptInsideTheWorkArea) {
  WorkArea full{0, 0, 1280, 1024};
  EXPECT_EQ(InformWindowRect(360, 360, 1280, 1024, full), (InformRect{460, 332, 360, 360}));
  // Larger than the screen: the work area's size, at its corner.
  EXPECT_EQ(InformWindowRect(5000, 99999, 1280, 1024, full), (InformRect{0, 0, 1280, 1024}));
  // Zero or negative sizes from a settings file: the minimum.
  EXPECT_EQ(InformWindowRect(0, -5, 1280, 1024, full), (InformRect{540, 442, kInformMinWidth, kInformMinHeight}));
  // A task bar at the bottom: the height stops above it, a centred window that would
  // reach under it moves up.
  WorkArea bar{0, 0, 1280, 984};
  EXPECT_EQ(InformWindowRect(400, 2000, 1280, 1024, bar), (InformRect{440, 0, 400, 984}));
  EXPECT_EQ(InformWindowRect(400, 980, 1280, 1024, bar), (InformRect{440, 4, 400, 980}));
  // A task bar on the left: the window stays right of it.
  WorkArea left{100, 0, 1280, 1024};
  EXPECT_EQ(InformWindowRect(1200, 300, 1280, 1024, left), (InformRect{100, 362, 1180, 300}));
}

}  // namespace
