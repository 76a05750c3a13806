// The server check's round: ICMP echoes on threads of their own, TCP
// connections as non-blocking sockets polled with select. Plain Windows
// Sockets 1.1 from WSOCK32.DLL, no WSAAsyncSelect or WSAEventSelect: the
// round needs no window and no event per socket, and the tests' double of
// that DLL stands in for every call it makes.
#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "platform/win32/owners_win.h"
#include "platform/win32/system_calls_win.h"

namespace molra {

namespace {

// Short enough that an echo's finding, which does not wake select, is still
// seen promptly while connections are pending.
constexpr DWORD kSelectSliceMs = 10;

Finding Echo(HANDLE icmp, const std::array<std::uint8_t, 4>& address, std::uint32_t timeoutMs) {
    IPAddr destination = 0;  // network byte order, as the bytes stand
    static_assert(sizeof destination == 4);
    std::memcpy(&destination, address.data(), 4);
    char request[32] = "MOLRAvin";
    // Room for one reply with its data plus an ICMP error message (8 bytes),
    // and some to spare.
    alignas(ICMP_ECHO_REPLY) unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof request + 8 + 16];
    const DWORD replies = Iphlpapi().IcmpSendEcho(icmp, destination, request, sizeof request,
                                                  nullptr, reply, sizeof reply, timeoutMs);
    // Address and Status lead the reply in its 32- and 64-bit layouts alike.
    const auto* answer = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
    // Another host may answer with an error about the address; only its own reply counts.
    return replies > 0 && answer->Status == IP_SUCCESS && answer->Address == destination
               ? Finding::Answered
               : Finding::NoAnswer;
}

// Where echo threads leave their findings. Shared with them: a round ended
// early does not wait for its echoes, and whatever they find later is dropped.
class EchoMailbox {
public:
    EchoMailbox() : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    EchoMailbox(const EchoMailbox&) = delete;
    EchoMailbox& operator=(const EchoMailbox&) = delete;
    ~EchoMailbox() = default;

    void Post(const ProbeFinding& finding) {
        AcquireSRWLockExclusive(&lock_);
        if (!closed_) {
            findings_.push_back(finding);
            if (ready_) SetEvent(ready_.get());
        }
        ReleaseSRWLockExclusive(&lock_);
    }
    std::optional<ProbeFinding> Take() {
        AcquireSRWLockExclusive(&lock_);
        std::optional<ProbeFinding> finding;
        if (!findings_.empty()) {
            finding = findings_.front();
            findings_.pop_front();
        }
        if (findings_.empty() && ready_) ResetEvent(ready_.get());
        ReleaseSRWLockExclusive(&lock_);
        return finding;
    }
    void Close() {
        AcquireSRWLockExclusive(&lock_);
        closed_ = true;
        findings_.clear();
        ReleaseSRWLockExclusive(&lock_);
    }
    // Without an event (none could be made) the round polls instead.
    void Wait(DWORD ms) {
        if (ready_) WaitForSingleObject(ready_.get(), ms);
        else
            Sleep(std::min(ms, kSelectSliceMs));
    }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::deque<ProbeFinding> findings_;
    bool closed_ = false;
    UniqueHandle ready_;  // manual-reset, set while findings_ holds any
};

struct EchoJob {
    std::shared_ptr<EchoMailbox> mailbox;
    IcmpHandle icmp;
    std::size_t target;
    std::array<std::uint8_t, 4> address;
    std::uint32_t timeoutMs;

    void Run() { mailbox->Post({target, CheckKind::Echo, Echo(icmp.get(), address, timeoutMs)}); }
};

DWORD WINAPI RunEchoJob(void* param) {
    const std::unique_ptr<EchoJob> job(static_cast<EchoJob*>(param));
    job->Run();
    return 0;
}

bool HasConnectionCalls(const Wsock32Calls& winsock) {
    return winsock.socket && winsock.ioctlsocket && winsock.connect && winsock.select &&
           winsock.getsockopt && winsock.closesocket && winsock.WSAGetLastError;
}

class Win32ProbeRound final : public ProbeRound {
public:
    explicit Win32ProbeRound(std::uint32_t budgetMs)
        : deadline_(GetTickCount64() + budgetMs), mailbox_(std::make_shared<EchoMailbox>()) {}
    Win32ProbeRound(const Win32ProbeRound&) = delete;
    Win32ProbeRound& operator=(const Win32ProbeRound&) = delete;
    ~Win32ProbeRound() override { mailbox_->Close(); }  // the sockets close with pending_

    void StartEcho(std::size_t target, const std::array<std::uint8_t, 4>& address,
                   std::uint32_t timeoutMs) override {
        const IphlpapiCalls& iphlpapi = Iphlpapi();
        IcmpHandle icmp;
        if (iphlpapi.IcmpCreateFile && iphlpapi.IcmpSendEcho && iphlpapi.IcmpCloseHandle)
            icmp.reset(iphlpapi.IcmpCreateFile());
        if (!icmp) {
            decided_.push_back({target, CheckKind::Echo, Finding::Unavailable});
            return;
        }
        auto job = std::make_unique<EchoJob>(
            EchoJob{mailbox_, std::move(icmp), target, address, timeoutMs});
        ++echoesOutstanding_;
        if (const UniqueHandle thread{
                CreateThread(nullptr, 0, RunEchoJob, job.get(), 0, nullptr)}) {
            static_cast<void>(job.release());  // the thread's now
            return;
        }
        job->Run();  // no thread to be had: the echo holds up the round, but is made
    }

    void StartConnection(std::size_t target, const std::array<std::uint8_t, 4>& address,
                         std::uint16_t port) override {
        if (const std::optional<Finding> finding = Connect(target, address, port))
            decided_.push_back({target, CheckKind::Connection, *finding});
    }

    std::optional<ProbeFinding> Next() override {
        for (;;) {
            if (!decided_.empty()) {
                const ProbeFinding finding = decided_.front();
                decided_.pop_front();
                return finding;
            }
            if (auto echo = mailbox_->Take()) {
                --echoesOutstanding_;
                return echo;
            }
            if (echoesOutstanding_ == 0 && pending_.empty()) return std::nullopt;
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline_) return std::nullopt;
            const auto left = static_cast<DWORD>(deadline_ - now);
            if (pending_.empty()) mailbox_->Wait(left);
            else
                PollConnections(std::min(left, kSelectSliceMs));
        }
    }

private:
    struct Pending {
        std::size_t target;
        UniqueSocket socket;
    };

    // The finding when the connection is decided at once; nullopt while it is
    // under way (then it is pending_'s).
    std::optional<Finding> Connect(std::size_t target, const std::array<std::uint8_t, 4>& address,
                                   std::uint16_t port) {
        const Wsock32Calls& winsock = Wsock32();
        if (!HasConnectionCalls(winsock)) return Finding::Unavailable;
        UniqueSocket socket(winsock.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!socket) return Finding::Unavailable;
        u_long nonBlocking = 1;
        if (winsock.ioctlsocket(socket.get(), FIONBIO, &nonBlocking) != 0) return Finding::NoAnswer;
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        // Network byte order, without htons: it would be one more import.
        const std::uint8_t portBytes[2] = {static_cast<std::uint8_t>(port >> 8),
                                           static_cast<std::uint8_t>(port & 0xFF)};
        std::memcpy(&peer.sin_port, portBytes, 2);
        std::memcpy(&peer.sin_addr, address.data(), 4);
        if (winsock.connect(socket.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) ==
            0)
            return Finding::Answered;
        if (winsock.WSAGetLastError() != WSAEWOULDBLOCK) return Finding::NoAnswer;
        pending_.push_back({target, std::move(socket)});
        return std::nullopt;
    }

    // A pending connect is done once its socket is writable (accepted) or in
    // the error set (failed); SO_ERROR tells which. fd_set is filled by hand:
    // FD_SET and FD_ISSET call __WSAFDIsSet, one more import.
    void PollConnections(DWORD waitMs) {
        const Wsock32Calls& winsock = Wsock32();
        fd_set writable{};
        fd_set failed{};
        for (const Pending& entry : pending_) {
            writable.fd_array[writable.fd_count++] = entry.socket.get();
            failed.fd_array[failed.fd_count++] = entry.socket.get();
        }
        timeval wait{0, static_cast<long>(waitMs * 1000)};
        const int ready = winsock.select(0, nullptr, &writable, &failed, &wait);
        if (ready == 0) return;
        const auto in = [](const fd_set& set, UINT_PTR socket) {
            return std::find(set.fd_array, set.fd_array + set.fd_count, socket) !=
                   set.fd_array + set.fd_count;
        };
        for (auto entry = pending_.begin(); entry != pending_.end();) {
            const UINT_PTR socket = entry->socket.get();
            // A failed select decides nothing more: every connection counts as no answer.
            if (ready != SOCKET_ERROR && !in(writable, socket) && !in(failed, socket)) {
                ++entry;
                continue;
            }
            int error = 0;
            int size = sizeof error;
            const bool accepted = ready != SOCKET_ERROR &&
                                  winsock.getsockopt(socket, SOL_SOCKET, SO_ERROR,
                                                     reinterpret_cast<char*>(&error), &size) == 0 &&
                                  error == 0;
            decided_.push_back({entry->target, CheckKind::Connection,
                                accepted ? Finding::Answered : Finding::NoAnswer});
            entry = pending_.erase(entry);  // closes the socket now
        }
    }

    const ULONGLONG deadline_;
    const std::shared_ptr<EchoMailbox> mailbox_;
    std::size_t echoesOutstanding_ = 0;
    std::deque<ProbeFinding> decided_;  // found on this thread, not yet returned
    std::vector<Pending> pending_;
};

}  // namespace

std::unique_ptr<ProbeRound> Win32Platform::StartProbeRound(std::uint32_t budgetMs) {
    return std::make_unique<Win32ProbeRound>(budgetMs);
}

}  // namespace molra
