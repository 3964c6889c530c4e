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

// Main window.
inline constexpr std::string_view kPortLabel = "Port:";
inline constexpr std::string_view kAllowAllLabel = "Den Zugriff allen erlauben.";
inline constexpr std::string_view kAllowListLabel = "Den Zugriff folgenden IPs erlauben:";
inline constexpr std::string_view kAllowRangeLabel = "Den Zugriff folgendem IP-Bereich erlauben:";
inline constexpr std::string_view kRangeDash = "_";
inline constexpr std::string_view kStartServer = "Server starten.";
inline constexpr std::string_view kStopServer = "Server beenden.";
// "Es konnte kein Server auf Port: " + port + " erstellt werden.\nVielleicht wird der Port durch
// ein anderes Programm blockiert?"
inline constexpr std::string_view kServerFailedBefore = "Es konnte kein Server auf Port: ";
inline constexpr std::string_view kServerFailedAfter =
    " erstellt werden.\nVielleicht wird der Port durch ein anderes Programm blockiert?";
inline constexpr std::string_view kPaneText = "Tastovolant_Mode2_Wnd";
// Client log columns: "Uhrzeit", "IP", "Gerätename", "Gerätetyp", "Anfragen", "Dauer".
inline constexpr std::string_view kLogColumns[6] = {"Uhrzeit",        "IP",       "Ger\344tename",
                                                    "Ger\344tetyp",   "Anfragen", "Dauer"};

// Address rows. "Bevor ein neues IP-Feld erstellt wird, müssen Sie das Vorherige ausfüllen!"
inline constexpr std::string_view kAddressRowStillEmpty =
    "Bevor ein neues IP-Feld erstellt wird, m\374ssen Sie das Vorherige ausf\374llen!";
inline constexpr std::string_view kAddressInfoTitle = "Field ";
inline constexpr std::string_view kAddressInfoAddress = "IP-Adress is: ";
inline constexpr std::string_view kAddressInfoHostName = "\nHostname is: ";
// A host name that no reverse lookup found, in the info box and in the client log.
inline constexpr std::string_view kUnknownHostName = "<unknown>";

// Path and query of the maker's web site that a click on the logo opens.
inline constexpr std::string_view kLogoLinkPath = "/?ref=Tastovolant_2.0.0";

}  // namespace tv::texts
