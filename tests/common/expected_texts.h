// The user's messages as every test expects them (unit, end-to-end, shell), written out
// here rather than taken from the program's own text table, so a changed character fails.
#pragma once

#include <string>

namespace molra::expected {

inline const std::string kNotice = "Bitte IP Adresse des MOLRAvin Servers ermitteln";
inline const std::string kNoServer =
    "Es ist kein MOLRAvin Server \r\nim lokalem Netz vorhanden !\r\n\r\nBitte IP Adresse manuell "
    "eintragen.\r\n(210.XXX.XXX.1)\r\nErfragen Sie die IP Adresse\r\nbei Ihrem "
    "Systemadministrator.";
inline const std::string kReachable = "MOLRAvin Server ist erreichbar.\r\nLink wurde angepasst.";
inline const std::string kUnreachable =
    "MOLRAvin Server ist nicht zu erreichen.\r\nLink wurde aber trotzdem erstellt !!!\r\n"
    "Informieren Sie Ihren SysAdmin!\r\nGegebenfalls IP sp\xC3\xA4ter anpassen.";
inline const std::string kWinsock = "'winsock.dll' antwortet nicht !";
inline const std::string kCleanup = "Socket Error -1 in Prozedur 'CleanSockets' aufgetreten !";
// Followed by two blanks and a positive code, one blank and a negative one.
inline const std::string kHostNameError = "Windows Sockets error ";
// Each followed by CRLF, the path or command line, CRLF and "Fehler " + the code.
inline const std::string kSaveFailed = "Die Verkn\xC3\xBCpfung konnte nicht gespeichert werden:";
inline const std::string kBrowserFailed = "Der Browser konnte nicht gestartet werden.";
inline const std::string kWindowFailed =
    "Das Fenster konnte nicht ge\xC3\xB6"
    "ffnet werden.";

// The window.
inline const std::string kCaption = "MOLRAvin";
inline const std::string kWindowTitle = "MOLRAvin IP anpassen";
inline const std::string kLabel1 = "IP Adresse des MOLRAvin Servers";
inline const std::string kCommand1 = "IP ermitteln und speichern";
inline const std::string kCommand2 =
    "Schlie\xC3\x9F"
    "en";
inline const std::string kTipText1 = "IP der Molra Anlage hier eingeben.";
inline const std::string kTipCommand1 = "IP der Molra Maschine ermitteln";
inline const std::string kTipCommand2 =
    "Speichern und Schlie\xC3\x9F"
    "en";

}  // namespace molra::expected
