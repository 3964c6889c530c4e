#pragma once
// The program's own texts, in ISO-8859-1. Umlauts are written as octal escapes so that the bytes
// are right whatever the compiler's source and execution character sets are; the comment beside
// each shows it as it reads.
#include <string_view>

namespace tv::texts {

inline constexpr std::string_view kMainWindowTitle = "Tastovolant v.2.0.0";
inline constexpr std::string_view kErrorTitle = "Fehler";
inline constexpr std::string_view kProgramTitle = "Tastovolant";

// "Das Hauptfenster konnte nicht geöffnet werden!"
inline constexpr std::string_view kMainWindowFailed = "Das Hauptfenster konnte nicht ge\366ffnet werden!";
inline constexpr std::string_view kPicturesFailed = "Es konnten keine Bilder geladen werden!";
inline constexpr std::string_view kIconsFailed = "Es konnten keine Icons geladen werden!";
// "Die Schriftart Arial (Größe 11) konnte nicht geladen werden!"
inline constexpr std::string_view kFontFailed = "Die Schriftart Arial (Gr\366\337e 11) konnte nicht geladen werden!";

// Path and query of the maker's web site that a click on the logo opens.
inline constexpr std::string_view kLogoLinkPath = "/?ref=Tastovolant_2.0.0";

}  // namespace tv::texts
