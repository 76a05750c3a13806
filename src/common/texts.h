// Every text the user sees, in one place, byte for byte.
#pragma once

namespace molra::text {

inline constexpr const char* kCaption = "MOLRAvin";
inline constexpr const char* kWindowTitle = "MOLRAvin IP anpassen";

inline constexpr const char* kDetermineNotice = "Bitte IP Adresse des MOLRAvin Servers ermitteln";
inline constexpr const char* kBrowserStartFailed = "Der Browser konnte nicht gestartet werden.";
inline constexpr const char* kWindowFailed = "Das Fenster konnte nicht geöffnet werden.";

inline constexpr const char* kWinsockNotAnswering = "'winsock.dll' antwortet nicht !";
inline constexpr const char* kCleanupErrorPrefix = "Socket Error ";
inline constexpr const char* kCleanupErrorSuffix = " in Prozedur 'CleanSockets' aufgetreten !";
inline constexpr const char* kHostNameErrorPrefix = "Windows Sockets error ";

inline constexpr const char* kNoServer =
    "Es ist kein MOLRAvin Server \r\n"
    "im lokalem Netz vorhanden !\r\n"
    "\r\n"
    "Bitte IP Adresse manuell eintragen.\r\n"
    "(210.XXX.XXX.1)\r\n"
    "Erfragen Sie die IP Adresse\r\n"
    "bei Ihrem Systemadministrator.";
inline constexpr const char* kReachable =
    "MOLRAvin Server ist erreichbar.\r\n"
    "Link wurde angepasst.";
inline constexpr const char* kUnreachable =
    "MOLRAvin Server ist nicht zu erreichen.\r\n"
    "Link wurde aber trotzdem erstellt !!!\r\n"
    "Informieren Sie Ihren SysAdmin!\r\n"
    "Gegebenfalls IP später anpassen.";
inline constexpr const char* kSaveFailed = "Die Verknüpfung konnte nicht gespeichert werden:";
// An error code the system has no words for: this and the number.
inline constexpr const char* kErrorNumberPrefix = "Fehler ";

// Window controls.
inline constexpr const char* kLabel1 = "IP Adresse des MOLRAvin Servers";
inline constexpr const char* kCommand1 = "IP ermitteln und speichern";
inline constexpr const char* kCommand2 = "Schließen";
inline constexpr const char* kTipText1 = "IP der Molra Anlage hier eingeben.";
inline constexpr const char* kTipCommand1 = "IP der Molra Maschine ermitteln";
inline constexpr const char* kTipCommand2 = "Speichern und Schließen";

}  // namespace molra::text
