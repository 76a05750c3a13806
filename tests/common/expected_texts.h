// The user's messages as every test expects them (unit, end-to-end, shell), written out
// here rather than taken from the program's own text table, so a changed character fails.
#pragma once

#include <string>

namespace molra::expected {

inline const std::string kNotice = "Bitte IP Adresse des MOLRAvin Servers ermitteln";
inline const std::string kNoServer =
    "Es ist kein MOLRAvin Server \r\nim lokalem Netz vorhanden !\r\n\r\nBitte IP Adresse manuell "
    "eintragen.\r\n(210.XXX.XXX.1)\r\nErfragen Sie die IP Adresse\r\nbei Ihrem Systemadministrator.";
inline const std::string kReachable = "MOLRAvin Server ist erreichbar.\r\nLink wurde angepasst.";
inline const std::string kUnreachable =
    "MOLRAvin Server ist nicht zu erreichen.\r\nLink wurde aber trotzdem erstellt !!!\r\n"
    "Informieren Sie Ihren SysAdmin!\r\nGegebenfalls IP sp\xC3\xA4ter anpassen.";
inline const std::string kWinsock = "'winsock.dll' antwortet nicht !";
inline const std::string kCleanup = "Socket Error -1 in Prozedur 'CleanSockets' aufgetreten !";

}  // namespace molra::expected
