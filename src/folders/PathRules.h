// Whether a path stays inside given folders, judged on the text alone.
#pragma once

#include <string>
#include <vector>

// True when path, made canonical ("/" read as "\", repeated and trailing "\"
// dropped, "." and ".." segments resolved, ASCII case folded), names something below
// one of the folders, which must be absolute themselves (a drive path such as
// "C:\Apps" or a share such as "\\srv\share\Apps"). "C:\Apps" holds "C:\Apps\a.exe" but
// neither "C:\AppsX\a.exe" nor "C:\Apps" itself. Relative, drive-relative ("C:x") and
// device ("\\?\", "\\.\") paths, ".." above the root or share, and segments the
// system would read otherwise (ending in "." or blank, holding ":" or a control
// character) make the answer false.
bool PathInsideFolders(const std::string& path, const std::vector<std::string>& folders);
