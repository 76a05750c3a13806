// An in-memory platform: tests set what the system would answer and read
// back every call the core made.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "ui/commands.h"

namespace molra::testing {

// One echo's answer in a test's script.
enum class EchoResult { Reply, NoReply, Unavailable };

class FakePlatform : public Platform {
public:
    // --- what the "system" holds ---
    std::map<std::pair<RegistryRoot, std::string>, std::map<std::string, RegistryValue>> registry;
    // path -> (section/key -> value), as the profile reader would answer
    std::map<std::string, std::map<std::string, std::string>> profiles;
    std::map<std::string, std::uint32_t> files;    // path -> attributes
    std::map<std::string, std::string> fileBytes;  // what SaveFileAtomically stored
    std::string currentDirectory = "C:\\Work";
    std::string programFolder = "C:\\Programme\\MOLRAvin";
    std::string commandLine = "MOLRAvin.exe";
    std::uint32_t startProcessError = 0;
    std::uint32_t openError = 0;
    std::uint32_t replaceError = 0;
    bool ansiFits = true;  // ToAnsi succeeds only for ASCII text when false

    int startupResult = 0;
    int cleanupResult = 0;
    HostNameResult hostName{0, std::string("pc-42") + std::string(251, '\0'), 0};
    std::map<std::string, std::optional<std::vector<std::vector<std::uint8_t>>>> hosts;
    std::map<std::string, int> reachability;  // address -> raw answer; missing means 0
    bool sensapiMissing = false;
    // Each round runs on a clock of its own, in ms from its start: a reply
    // comes after replyMs, no reply after the echo's whole timeout.
    // dotted address -> echo results in turn; missing or used up means NoReply
    std::map<std::string, std::vector<EchoResult>> echoes;
    std::map<std::string, double> replyMs;  // dotted address -> when its replies come
    // "a.b.c.d:port" -> the connection's finding and when it comes; missing: never
    std::map<std::string, std::pair<Finding, double>> connections;
    bool socketCallsMissing = false;
    std::vector<double> clock{100.0, 100.25};  // readings handed out in turn; the last repeats

    // --- what the core did ---
    std::vector<std::pair<std::string, int>> startedProcesses;
    std::vector<std::string> openedUrls;
    std::vector<std::string> messages;
    std::vector<std::string> captions;
    std::vector<std::string> calls;  // socket, probe and file calls in order
    std::vector<std::string> replacedPaths;
    std::vector<double> roundEndsMs;  // when each round ended, on its own clock

    void SetRegistryString(RegistryRoot root, const std::string& key, const std::string& name,
                           const std::string& value, std::uint32_t type = kRegSz) {
        registry[{root, key}][name] =
            RegistryValue{type, type == kRegSz ? std::optional<std::string>(value) : std::nullopt};
    }
    void SetShortcut(const std::string& path, const std::string& url,
                     std::uint32_t attributes = 0x20) {
        files[path] = attributes;
        profiles[path]["InternetShortcut/URL"] = url;
    }

    std::optional<RegistryValue> QueryRegistryValue(RegistryRoot root, const std::string& subKey,
                                                    const std::string& valueName) override {
        auto key = registry.find({root, subKey});
        if (key == registry.end()) return std::nullopt;
        auto value = key->second.find(valueName);
        if (value == key->second.end()) return std::nullopt;
        return value->second;
    }
    std::string ReadProfileString(const std::string& section, const std::string& key,
                                  const std::string& path) override {
        auto file = profiles.find(path);
        if (file == profiles.end()) return {};
        auto value = file->second.find(section + "/" + key);
        return value == file->second.end() ? std::string() : value->second;
    }
    std::optional<std::uint32_t> FindFileAttributes(const std::string& path) override {
        auto file = files.find(path);
        if (file == files.end()) return std::nullopt;
        return file->second;
    }
    std::string CurrentDirectory() override { return currentDirectory; }
    std::string ProgramFolder() override { return programFolder; }
    std::string CommandLine() override { return commandLine; }
    std::uint32_t StartProcess(const std::string& command, int showState) override {
        startedProcesses.emplace_back(command, showState);
        return startProcessError;
    }
    std::uint32_t OpenWithDefaultHandler(const std::string& url) override {
        openedUrls.push_back(url);
        return openError;
    }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.push_back(text);
        captions.push_back(caption);
        calls.push_back("message");
    }
    std::string ErrorText(std::uint32_t code) override { return "Fehler " + std::to_string(code); }

    int SocketStartup(std::uint16_t versionWord) override {
        calls.push_back("startup " + std::to_string(versionWord));
        return startupResult;
    }
    int SocketCleanup() override {
        calls.push_back("cleanup");
        return cleanupResult;
    }
    HostNameResult LocalHostName() override {
        calls.push_back("gethostname");
        return hostName;
    }
    std::optional<std::vector<std::vector<std::uint8_t>>> HostAddresses(
        const std::string& name) override {
        calls.push_back("gethostbyname " + name);
        auto host = hosts.find(name);
        if (host == hosts.end()) return std::nullopt;
        return host->second;
    }
    int CheckDestination(const std::string& address) override {
        calls.push_back("probe " + address);
        auto answer = reachability.find(address);
        return sensapiMissing || answer == reachability.end() ? 0 : answer->second;
    }
    std::unique_ptr<ProbeRound> StartProbeRound(std::uint32_t budgetMs) override {
        return std::make_unique<Round>(*this, budgetMs);
    }
    double MonotonicSeconds() override {
        calls.push_back("clock");
        const double reading = clock.at(std::min(clockIndex_, clock.size() - 1));
        ++clockIndex_;
        return reading;
    }
    std::optional<std::string> ToAnsi(const std::string& text) override {
        if (ansiFits) return text;  // the tests' "ANSI" keeps ASCII and UTF-8 alike
        for (char c : text)
            if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
        return text;
    }
    std::uint32_t SaveFileAtomically(const std::string& path, const std::string& bytes) override {
        calls.push_back("replace " + path);
        replacedPaths.push_back(path);
        if (replaceError) return replaceError;
        fileBytes[path] = bytes;
        files[path] = 0x20;
        return 0;
    }

private:
    // Findings come in the order of their times; at equal times, in the order started.
    class Round : public ProbeRound {
    public:
        Round(FakePlatform& platform, double budgetMs) : platform_(platform), budgetMs_(budgetMs) {}
        ~Round() override { platform_.roundEndsMs.push_back(nowMs_); }
        void StartEcho(std::size_t target, const std::array<std::uint8_t, 4>& address,
                       std::uint32_t timeoutMs) override {
            const std::string dotted = Dotted(address);
            platform_.calls.push_back("echo " + dotted + " " + std::to_string(timeoutMs));
            std::vector<EchoResult>& answers = platform_.echoes[dotted];
            const EchoResult answer = answers.empty() ? EchoResult::NoReply : answers.front();
            if (!answers.empty()) answers.erase(answers.begin());
            const double replyMs =
                platform_.replyMs.count(dotted) ? platform_.replyMs[dotted] : 0.0;
            if (answer == EchoResult::Reply)
                Add(target, CheckKind::Echo, Finding::Answered, replyMs);
            if (answer == EchoResult::NoReply)
                Add(target, CheckKind::Echo, Finding::NoAnswer, timeoutMs);
            if (answer == EchoResult::Unavailable)
                Add(target, CheckKind::Echo, Finding::Unavailable, 0);
        }
        void StartConnection(std::size_t target, const std::array<std::uint8_t, 4>& address,
                             std::uint16_t port) override {
            const std::string key = Dotted(address) + ":" + std::to_string(port);
            platform_.calls.push_back("connect " + key);
            if (platform_.socketCallsMissing)
                Add(target, CheckKind::Connection, Finding::Unavailable, 0);
            else if (auto found = platform_.connections.find(key);
                     found != platform_.connections.end())
                Add(target, CheckKind::Connection, found->second.first, found->second.second);
            else
                ++silent_;
        }
        std::optional<ProbeFinding> Next() override {
            auto first =
                std::min_element(pending_.begin(), pending_.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
            if (first == pending_.end() || first->first > budgetMs_) {
                if (!pending_.empty() || silent_ > 0) nowMs_ = budgetMs_;  // waited it out
                pending_.clear();
                return std::nullopt;
            }
            nowMs_ = first->first;
            const ProbeFinding finding = first->second;
            pending_.erase(first);
            return finding;
        }

    private:
        void Add(std::size_t target, CheckKind kind, Finding finding, double afterMs) {
            pending_.emplace_back(nowMs_ + afterMs, ProbeFinding{target, kind, finding});
        }
        static std::string Dotted(const std::array<std::uint8_t, 4>& address) {
            std::string dotted;
            for (std::uint8_t byte : address)
                dotted += (dotted.empty() ? "" : ".") + std::to_string(byte);
            return dotted;
        }

        FakePlatform& platform_;
        double budgetMs_;
        double nowMs_ = 0;
        int silent_ = 0;  // connections that never answer
        std::vector<std::pair<double, ProbeFinding>> pending_;
    };

    std::size_t clockIndex_ = 0;
};

// Command1 as the window runs it: the check (on its worker), then the end of the click.
inline ClickOutcome Command1_Click(Platform& platform, const std::string& box) {
    return FinishClick(platform, CheckServer(platform, box));
}

// The shortcut file saved for address, the program being in folder.
inline std::string FileFor(const std::string& address,
                           const std::string& folder = "C:\\Programme\\MOLRAvin") {
    return "[InternetShortcut]\r\nURL=http://" + address + "\r\nIconIndex=0\r\nIconFile=" + folder +
           "\\MOLRAvin.exe\r\n";
}

}  // namespace molra::testing
