#include "folders/ShellFolders.h"

#include "util/SeparatorLists.h"

namespace {

std::string Strip(const std::string& path) {
  std::string p = path;
  while (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  return p;
}

class Resolver {
 public:
  explicit Resolver(const ShellQueries& q) : q_(q) {}

  bool Exists(const std::string& path) const { return !path.empty() && !IsBareDrive(path) && q_.folderExists(path); }
  std::string Folder(int csidl) const { return q_.folderPath ? Strip(q_.folderPath(csidl)) : ""; }
  std::string Special(int csidl) const { return q_.specialFolder ? Strip(q_.specialFolder(csidl)) : ""; }
  std::string Windows() const { return Strip(q_.windowsDir); }

  std::string ProfileFallback() const {
    std::string profile = Windows() + "\\Profiles\\" + q_.profileOwner;
    return Exists(profile) ? profile : Windows();
  }

  std::string DocumentsAndSettings() const {
    std::string p = Folder(kCsidlPersonal);
    if (Exists(p)) {
      p = ParentFolder(p);
      if (Exists(p)) p = ParentFolder(p);
    }
    return Exists(p) ? p : ProfileFallback();
  }
  std::string User() const {
    std::string p = Folder(kCsidlPersonal);
    if (Exists(p)) p = ParentFolder(p);
    return Exists(p) ? p : ProfileFallback();
  }
  std::string AllUsers() const {
    std::string p = Folder(kCsidlCommonAppData);
    if (Exists(p)) p = ParentFolder(p);
    return Exists(p) ? p : Windows();
  }
  std::string OrElse(const std::string& primary, const std::string& fallback) const {
    return Exists(primary) ? primary : fallback;
  }
  std::string OrElse2(const std::string& primary, const std::string& first, const std::string& second) const {
    if (Exists(primary)) return primary;
    return Exists(first) ? first : second;
  }

 private:
  const ShellQueries& q_;
};

}  // namespace

bool IsBareDrive(const std::string& path) {
  std::string p = Strip(path);
  return p.size() == 2 && p[1] == ':';
}

std::string ParentFolder(const std::string& path) {
  if (IsBareDrive(path)) return "";
  size_t cut = path.rfind('\\');
  return cut == std::string::npos ? "" : path.substr(0, cut);
}

std::string ResolveShellFolder(const std::string& placeholder, const ShellQueries& q) {
  Resolver r(q);
  std::string p = UpperCase(placeholder);
  if (p == "<DOCUMENTSANDSETTINGSDIR>") return r.DocumentsAndSettings();
  if (p == "<USERDIR>") return r.User();
  if (p == "<ALLUSERSDIR>") return r.AllUsers();
  if (p == "<USERLOCALAPPDATADIR>")
    return r.OrElse(r.Folder(kCsidlLocalAppData), r.ProfileFallback() + "\\Application Data");
  if (p == "<USERAPPDATADIR>") return r.OrElse(r.Folder(kCsidlAppData), r.ProfileFallback() + "\\Application Data");
  if (p == "<ALLUSERSAPPDATADIR>")
    return r.OrElse(r.Folder(kCsidlCommonAppData), r.Windows() + "\\Application Data");
  if (p == "<MYDOCUMENTSDIR>") return r.OrElse(r.Folder(kCsidlPersonal), r.ProfileFallback() + "\\My Documents");
  if (p == "<ALLUSERSDOCUMENTSDIR>")
    return r.OrElse(r.Folder(kCsidlCommonDocuments), r.Windows() + "\\Documents");
  if (p == "<USERSTARTMENUDIR>")
    return r.OrElse2(r.Special(kCsidlStartMenu), r.User() + "\\Start Menu", r.AllUsers() + "\\Start Menu");
  if (p == "<ALLUSERSSTARTMENUDIR>") return r.OrElse(r.Special(kCsidlCommonStartMenu), r.AllUsers() + "\\Start Menu");
  if (p == "<USERSTARTPROGRAMMENUDIR>")
    return r.OrElse2(r.Special(kCsidlPrograms), r.User() + "\\Start Menu\\Programs",
                     r.AllUsers() + "\\Start Menu\\Programs");
  if (p == "<ALLUSERSSTARTPROGRAMMENUDIR>")
    return r.OrElse(r.Special(kCsidlCommonPrograms), r.AllUsers() + "\\Start Menu\\Programs");
  if (p == "<USERDESKTOPDIR>")
    return r.OrElse2(r.Special(kCsidlDesktopDirectory), r.User() + "\\Desktop", r.AllUsers() + "\\Desktop");
  if (p == "<ALLUSERSDESKTOPDIR>")
    return r.OrElse(r.Special(kCsidlCommonDesktopDirectory), r.AllUsers() + "\\Desktop");
  return "";
}
