// The inform dialog: a read-only rich-edit text (plain or Rich Text Format) and, when
// an address is given, one button that opens it in the user's browser. The agent
// shows it to announce a new version.
//
// The decisions (what a call does, which addresses may be opened, the layout and the
// text font) are plain functions here; the window itself is Win32 only.
#pragma once
#include <string>

inline constexpr int kInformBand = 43;  // the button band at the bottom
inline constexpr int kInformButtonWidth = 160;
inline constexpr int kInformButtonHeight = 25;
inline constexpr int kInformTextFontHeight = 15;  // cell height
// Smallest outer size: the caption, some text and the band still show.
inline constexpr int kInformMinWidth = 200;
inline constexpr int kInformMinHeight = 140;
inline constexpr size_t kMaxInformAddress = 2048;

// Where a button press (or a call without text) may take the user: an http:// or
// https:// address with a host, "www." + ... as "http://www." + ...; anything else
// (a path, file:, \\host\share, mailto:, a program name, a text with blanks or quotes
// that would split the browser's command line) is refused with an empty result.
std::string InformAddressToOpen(const std::string& address);

enum class InformAction {
  ShowDialog,   // a text to show; a button when the address is not empty
  OpenAddress,  // no text: open the address at once (result true)
  Refuse,       // no text and an address that may not be opened (result false)
  Nothing,      // neither text nor address (result false)
};
struct InformDecision {
  InformAction action = InformAction::Nothing;
  std::string address;  // trimmed; for OpenAddress the address to open
};
InformDecision DecideInform(const std::string& text, const std::string& address);

// The face of the text font: "Verdana" for the default "Tahoma" (or no name), else
// the given name.
std::string InformTextFontName(const std::string& fontName);

struct InformRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const InformRect&) const = default;
};
struct WorkArea {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};
// The dialog's outer rectangle: the size limited to the work area (and at least the
// minimum), centred on the screen and moved inside the work area when it would reach
// under a task bar.
InformRect InformWindowRect(int width, int height, int screenWidth, int screenHeight, const WorkArea& area);

struct InformLayout {
  InformRect text;
  bool button = false;
  InformRect buttonRect;
  int lineY = -1;     // the band's top line, -1 without a band
  int bandTop = -1;   // the band's filled part, from here to the bottom
};
InformLayout InformDialogLayout(int clientWidth, int clientHeight, bool hasAddress);

#ifdef _WIN32
#include <windows.h>

// Shows the text (or opens the address when there is no text) and returns when the
// dialog has been closed: true when the user was informed.
bool ShowInformDialog(HWND owner, const std::string& caption, const std::string& buttonText,
                      const std::string& text, const std::string& address, int width, int height,
                      bool rightToLeft, const std::string& fontName, int fontSize, int charset);
#endif
