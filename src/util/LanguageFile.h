// Texts from the optional language file beside the program, and the package's
// language settings.
#pragma once
#include <string>

class TGFileInfo;

inline constexpr char kLanguageFileName[] = "Vabrix.language.ini";
inline constexpr char kLanguageFolderName[] = "English";

// <program folder>\HELP\English\Vabrix.language.ini for a program path.
std::string LanguageFilePathFor(const std::string& programPath);
// A text as the file holds it: one "|" off each end when it has one at both (so that
// blanks survive the INI reader); a lone "|" is empty.
std::string StripLanguageBars(const std::string& text);
// The text with every "<?>" replaced by the argument.
std::string InsertLanguageArg(const std::string& text, const std::string& argument);

#ifdef _WIN32
std::string LanguageFilePath();
// The file's [STRINGS] text for the key, else the default.
std::string LanguageString(const std::string& key, const std::string& defaultText);
std::string LanguageStringArg(const std::string& key, const std::string& defaultText, const std::string& argument);
#endif
// The package's language string (its chosen language block), else the default.
std::string LanguageSetting(const TGFileInfo& package, const std::string& key, const std::string& defaultText);
