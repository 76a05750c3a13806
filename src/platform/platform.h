// The one interface through which the portable core reaches the operating
// system. The Win32 layer implements it for the real program; the unit tests
// implement it in memory. All texts are UTF-8; the Win32 layer converts at
// its own boundary.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace molra {

enum class RegistryRoot { ClassesRoot, LocalMachine };

inline constexpr std::uint32_t kRegSz = 1;  // REG_SZ

// File attribute bits the core looks at.
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;

inline constexpr int kShowNormal = 1;  // SW_SHOWNORMAL

struct RegistryValue {
    std::uint32_t type = 0;
    // Every character the value holds, NULs included and no terminator
    // assumed. nullopt when the type is not REG_SZ (its data is not read) or
    // when reading the data failed after the type was known.
    std::optional<std::string> data;
};

// What one check of a probe round found. Answered: an echo reply with status
// success from the address itself, or a connection accepted. NoAnswer: no
// reply within the echo's timeout, a reply from another host, a refused or
// failed connection. Unavailable: the echo service or the socket calls cannot
// be had, so no check of that kind can be made.
enum class Finding { Answered, NoAnswer, Unavailable };
enum class CheckKind { Echo, Connection };

struct ProbeFinding {
    std::size_t target = 0;  // as passed to the Start call
    CheckKind kind = CheckKind::Echo;
    Finding finding = Finding::NoAnswer;
};

// Checks of several addresses at once, each in the background; their
// findings come back one at a time, in the order they are made. Ending the
// round closes every connection still open and drops every later finding.
class ProbeRound {
public:
    virtual ~ProbeRound() = default;
    // One ICMP echo request, waiting up to timeoutMs for its reply.
    virtual void StartEcho(std::size_t target, const std::array<std::uint8_t, 4>& address,
                           std::uint32_t timeoutMs) = 0;
    // A TCP connection to address:port; nothing is sent or received on it,
    // and it is closed as soon as it is accepted, refused or failed.
    virtual void StartConnection(std::size_t target, const std::array<std::uint8_t, 4>& address,
                                 std::uint16_t port) = 0;
    // The next finding; nullopt once the round's time is up or nothing is
    // left to find.
    virtual std::optional<ProbeFinding> Next() = 0;
};

struct HostNameResult {
    int result = 0;      // gethostname's result; -1 is failure
    std::string buffer;  // the whole buffer as the call left it, NULs included
    int lastError = 0;   // WSAGetLastError, only meaningful after -1
};

class Platform {
public:
    virtual ~Platform() = default;

    // nullopt when the key cannot be opened or the value's type cannot be queried.
    virtual std::optional<RegistryValue> QueryRegistryValue(RegistryRoot root,
                                                            const std::string& subKey,
                                                            const std::string& valueName) = 0;

    // The whole value of key in section of an INI file, however long; empty
    // when the file, section or key is missing or the value is empty.
    virtual std::string ReadProfileString(const std::string& section, const std::string& key,
                                          const std::string& path) = 0;

    // Attributes of the file found at path (no wildcards expected); nullopt when nothing is found.
    virtual std::optional<std::uint32_t> FindFileAttributes(const std::string& path) = 0;

    // Without a trailing separator, except at a drive root ("C:\").
    virtual std::string CurrentDirectory() = 0;
    // Folder of the running executable, never with a trailing separator.
    virtual std::string ProgramFolder() = 0;
    // The raw command line of the process, program name included.
    virtual std::string CommandLine() = 0;

    // Starts commandLine without waiting; 0 on success, else the system error code.
    virtual std::uint32_t StartProcess(const std::string& commandLine, int showState) = 0;
    // Opens url with the system's default handler; 0 on success, else the system error code.
    virtual std::uint32_t OpenWithDefaultHandler(const std::string& url) = 0;

    // Modal box with OK only and no icon.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // The system's own text for an error code, without a trailing line end.
    virtual std::string ErrorText(std::uint32_t code) = 0;

    // Socket library: results exactly as WSAStartup / WSACleanup return them.
    virtual int SocketStartup(std::uint16_t versionWord) = 0;
    virtual int SocketCleanup() = 0;
    // gethostname into a 256-byte buffer of NULs.
    virtual HostNameResult LocalHostName() = 0;
    // The addresses of hostName in the platform's order, each as its bytes in
    // network order; nullopt when the look-up gives no host record.
    virtual std::optional<std::vector<std::vector<std::uint8_t>>> HostAddresses(
        const std::string& hostName) = 0;
    // The reachability check's raw answer for address; 0 when Sensapi.dll or
    // its entry point is missing.
    virtual int CheckDestination(const std::string& address) = 0;
    // A round of echoes and connections (addresses as bytes in network
    // order) that lasts at most budgetMs from now. Connections need a socket
    // session the caller has started.
    virtual std::unique_ptr<ProbeRound> StartProbeRound(std::uint32_t budgetMs) = 0;
    // Seconds on a clock that never goes backwards.
    virtual double MonotonicSeconds() = 0;

    // text in the system ANSI code page; nullopt when a character has no exact equivalent there.
    virtual std::optional<std::string> ToAnsi(const std::string& text) = 0;
    // Replaces the file at path with bytes in one step (temporary file in the
    // same folder, then a move over the target). 0 on success, else the
    // system error code; on failure the old file is unchanged and no
    // temporary file remains.
    virtual std::uint32_t SaveFileAtomically(const std::string& path, const std::string& bytes) = 0;
};

}  // namespace molra
