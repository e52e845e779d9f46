// One TCP connection to the broker, non-blocking, with Schannel TLS when
// asked. Used only by the client's thread (and TestConnection).
#pragma once
#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <security.h>
#include <atomic>
#include <string>

#include "mqtt/MqttClient.h"

namespace nw::mqtt {

enum class Io { Ok, WouldBlock, Closed, Failed, Stopped, TimedOut };

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Resolves, connects and does the TLS handshake (checking the
    // certificate) before deadline (GetTickCount64). wake may be signalled
    // at any time; only stop set ends the attempt early.
    Io Open(const ClientConfig& config, HANDLE wake, const std::atomic<bool>& stop, ULONGLONG deadline);
    // Adds bytes to send (encrypted with TLS); false when TLS refused them.
    bool Queue(const std::string& plain);
    // Sends what the socket takes now.
    Io Flush();
    size_t Pending() const { return out_.size() - outSent_; }
    // Appends what has arrived (at most about 64 KB a call); WouldBlock
    // when nothing more is there now.
    Io Receive(std::string& plain);
    // Waits for the socket or wake until deadline: Ok (something to do), TimedOut.
    Io Wait(HANDLE wake, ULONGLONG deadline);
    // Ends the connection; abortive: a reset, as when the process dies.
    void Close(bool abortive = false);

    DWORD Error() const { return error_; }
    bool TlsRejected() const { return tlsRejected_; }

private:
    Io Connect(const ClientConfig& config, HANDLE wake, const std::atomic<bool>& stop, ULONGLONG deadline);
    Io Handshake(const ClientConfig& config, HANDLE wake, const std::atomic<bool>& stop, ULONGLONG deadline);
    bool CertificateAccepted(const ClientConfig& config);
    Io ReceiveRaw(std::string& into, size_t most);
    Io ReceiveSome(std::string& plain);
    Io Decrypt(std::string& plain);
    void Fail(DWORD error) { if (!error_) error_ = error; }

    SOCKET socket_ = INVALID_SOCKET;
    HANDLE event_ = nullptr;
    std::string out_;         // bytes on the wire, not yet all sent
    size_t outSent_ = 0;
    bool tls_ = false;
    CredHandle credentials_{};
    CtxtHandle context_{};
    bool haveCredentials_ = false;
    bool haveContext_ = false;
    SecPkgContext_StreamSizes sizes_{};
    std::string tlsIn_;       // received records not yet decrypted
    DWORD error_ = 0;
    bool tlsRejected_ = false;
};

}  // namespace nw::mqtt
