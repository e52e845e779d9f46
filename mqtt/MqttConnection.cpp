#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "mqtt/MqttConnection.h"

#include <schannel.h>
#include <wincrypt.h>

#include <cstring>
#include <cwchar>
#include "base/Text.h"

namespace nw::mqtt {

namespace {

constexpr size_t kReadPiece = 16 * 1024;
constexpr size_t kReceiveMost = 64 * 1024;
// A TLS record is at most 16 KB and change: more undecryptable bytes than
// this is a broken or hostile peer, not a slow one.
constexpr size_t kTlsInMost = 64 * 1024;

DWORD Remaining(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now > 0x7FFFFFFF ? 0x7FFFFFFF : deadline - now);
}

bool IsCertificateError(SECURITY_STATUS s) {
    switch (s) {
    case SEC_E_UNTRUSTED_ROOT: case SEC_E_CERT_UNKNOWN: case SEC_E_CERT_EXPIRED:
    case SEC_E_WRONG_PRINCIPAL: case static_cast<SECURITY_STATUS>(CERT_E_CN_NO_MATCH):
    case static_cast<SECURITY_STATUS>(CERT_E_UNTRUSTEDROOT): case static_cast<SECURITY_STATUS>(CERT_E_CHAINING):
        return true;
    default:
        return false;
    }
}

}  // namespace

Connection::Connection() : event_(WSACreateEvent()) {}

Connection::~Connection() {
    Close();
    if (event_) WSACloseEvent(event_);
}

void Connection::Close(bool abortive) {
    if (socket_ != INVALID_SOCKET) {
        if (abortive) {
            linger l{1, 0};
            setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
        }
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
    if (haveContext_) DeleteSecurityContext(&context_);
    if (haveCredentials_) FreeCredentialsHandle(&credentials_);
    haveContext_ = haveCredentials_ = false;
    out_.clear();
    outSent_ = 0;
    tlsIn_.clear();
}

Io Connection::Wait(HANDLE wake, ULONGLONG deadline) {
    HANDLE handles[2] = {wake, event_};
    const DWORD n = wake ? 2 : 1;
    const DWORD r = WaitForMultipleObjects(n, wake ? handles : handles + 1, FALSE, Remaining(deadline));
    if (r == WAIT_TIMEOUT) return Io::TimedOut;
    if (socket_ != INVALID_SOCKET) {
        // Resets the event; reads and writes are then simply tried.
        WSANETWORKEVENTS events{};
        WSAEnumNetworkEvents(socket_, event_, &events);
    }
    return Io::Ok;
}

Io Connection::Open(const ClientConfig& config, HANDLE wake, const std::atomic<bool>& stop, ULONGLONG deadline) {
    Close();
    error_ = 0;
    tlsRejected_ = false;
    tls_ = config.tls;
    if (!event_) {
        Fail(WSAGetLastError());
        return Io::Failed;
    }
    Io r = Connect(config, wake, stop, deadline);
    if (r == Io::Ok && tls_) r = Handshake(config, wake, stop, deadline);
    if (r != Io::Ok) Close();
    return r;
}

Io Connection::Connect(const ClientConfig& config, HANDLE wake, const std::atomic<bool>& stop, ULONGLONG deadline) {
    wchar_t port[8];
    FormatText(port, 8, L"%u", static_cast<unsigned>(config.port ? config.port : (config.tls ? 8883 : 1883)));
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* list = nullptr;
    // Cannot be cancelled before Windows 8; Stop does not wait for it.
    const int resolved = GetAddrInfoW(config.host.c_str(), port, &hints, &list);
    if (resolved != 0) {
        Fail(static_cast<DWORD>(resolved));
        return Io::Failed;
    }
    Io result = Io::Failed;
    for (ADDRINFOW* a = list; a && result == Io::Failed; a = a->ai_next) {
        if (stop.load(std::memory_order_acquire)) { result = Io::Stopped; break; }
        socket_ = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (socket_ == INVALID_SOCKET) {
            Fail(WSAGetLastError());
            continue;
        }
        // Also makes the socket non-blocking.
        if (WSAEventSelect(socket_, event_, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
            Fail(WSAGetLastError());
            closesocket(socket_);
            socket_ = INVALID_SOCKET;
            continue;
        }
        const BOOL noDelay = TRUE;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        if (connect(socket_, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
            result = Io::Ok;
            break;
        }
        int e = WSAGetLastError();
        while (e == WSAEWOULDBLOCK) {
            if (stop.load(std::memory_order_acquire)) { result = Io::Stopped; break; }
            HANDLE handles[2] = {event_, wake};
            const DWORD r = WaitForMultipleObjects(wake ? 2 : 1, handles, FALSE, Remaining(deadline));
            if (r == WAIT_TIMEOUT) { result = Io::TimedOut; Fail(WSAETIMEDOUT); break; }
            if (r == WAIT_FAILED) { e = static_cast<int>(GetLastError()); break; }
            if (r != WAIT_OBJECT_0) continue;   // wake: see whether to stop
            WSANETWORKEVENTS events{};
            if (WSAEnumNetworkEvents(socket_, event_, &events) != 0) { e = WSAGetLastError(); break; }
            if (events.lNetworkEvents & FD_CONNECT) {
                e = events.iErrorCode[FD_CONNECT_BIT];
                if (e == 0) result = Io::Ok;
                break;
            }
        }
        if (result == Io::Ok) break;
        if (e && e != WSAEWOULDBLOCK) Fail(static_cast<DWORD>(e));
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
        if (result != Io::Failed) break;   // stopped or out of time
    }
    FreeAddrInfoW(list);
    return result;
}

// ---- TLS ------------------------------------------------------------------------

Io Connection::Handshake(const ClientConfig& config, HANDLE wake, const std::atomic<bool>& stop, ULONGLONG deadline) {
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // Named, because Windows 7 leaves TLS 1.1 and 1.2 off for clients by default.
    cred.grbitEnabledProtocols = SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_2_CLIENT;
    // The certificate is checked below, by chain and name or by pin; Schannel
    // must not refuse a self-signed one first, nor offer a client certificate.
    cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    SECURITY_STATUS s = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                                  nullptr, &cred, nullptr, nullptr, &credentials_, nullptr);
    if (s != SEC_E_OK) {
        Fail(static_cast<DWORD>(s));
        return Io::Failed;
    }
    haveCredentials_ = true;
    const DWORD wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                         ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
    std::wstring host = config.host;
    bool needInput = false;
    for (;;) {
        if (stop.load(std::memory_order_acquire)) return Io::Stopped;
        if (needInput) {
            const Io r = ReceiveRaw(tlsIn_, kReadPiece);
            if (r == Io::WouldBlock) {
                if (tlsIn_.size() > kTlsInMost) { Fail(static_cast<DWORD>(SEC_E_INVALID_TOKEN)); return Io::Failed; }
                if (Wait(wake, deadline) == Io::TimedOut) { Fail(WSAETIMEDOUT); return Io::TimedOut; }
                continue;
            }
            if (r != Io::Ok) return r;
            needInput = false;
        }
        SecBuffer in[2] = {{static_cast<ULONG>(tlsIn_.size()), SECBUFFER_TOKEN, tlsIn_.data()}, {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
        ULONG attributes = 0;
        s = InitializeSecurityContextW(&credentials_, haveContext_ ? &context_ : nullptr, host.data(), wanted, 0, 0,
                                       haveContext_ ? &inDesc : nullptr, 0, haveContext_ ? nullptr : &context_,
                                       &outDesc, &attributes, nullptr);
        if (s == SEC_E_OK || s == SEC_I_CONTINUE_NEEDED) haveContext_ = true;
        if (out[0].pvBuffer) {
            if (out[0].cbBuffer) out_.append(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
            FreeContextBuffer(out[0].pvBuffer);
        }
        if (s == SEC_E_INCOMPLETE_MESSAGE) {
            needInput = true;
            continue;
        }
        if (s != SEC_E_OK && s != SEC_I_CONTINUE_NEEDED && s != SEC_I_INCOMPLETE_CREDENTIALS) {
            Fail(static_cast<DWORD>(s));
            tlsRejected_ = IsCertificateError(s);
            return Io::Failed;
        }
        // What the peer sent past this step's message stays for the next.
        if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0 && in[1].cbBuffer <= tlsIn_.size())
            tlsIn_.erase(0, tlsIn_.size() - in[1].cbBuffer);
        else if (s != SEC_I_INCOMPLETE_CREDENTIALS)
            tlsIn_.clear();
        while (Pending()) {
            const Io r = Flush();
            if (r == Io::WouldBlock) {
                if (Wait(wake, deadline) == Io::TimedOut) { Fail(WSAETIMEDOUT); return Io::TimedOut; }
                if (stop.load(std::memory_order_acquire)) return Io::Stopped;
            } else if (r != Io::Ok) {
                return r;
            }
        }
        if (s == SEC_E_OK) break;
        if (s == SEC_I_CONTINUE_NEEDED && tlsIn_.empty()) needInput = true;
    }
    if (!CertificateAccepted(config)) {
        tlsRejected_ = true;
        return Io::Failed;
    }
    s = QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (s != SEC_E_OK || sizes_.cbMaximumMessage == 0) {
        Fail(static_cast<DWORD>(s));
        return Io::Failed;
    }
    return Io::Ok;
}

// With a pin exactly that certificate, whoever signed it (a home broker's
// self-signed one); without, a chain to a trusted root that names the host.
bool Connection::CertificateAccepted(const ClientConfig& config) {
    PCCERT_CONTEXT cert = nullptr;
    SECURITY_STATUS s = QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert);
    if (s != SEC_E_OK || !cert) {
        Fail(static_cast<DWORD>(s ? s : SEC_E_CERT_UNKNOWN));
        return false;
    }
    bool accepted = false;
    if (config.hasPin) {
        BYTE hash[32];
        DWORD size = sizeof hash;
        if (CryptHashCertificate2(BCRYPT_SHA256_ALGORITHM, 0, nullptr, cert->pbCertEncoded, cert->cbCertEncoded, hash,
                                  &size) &&
            size == sizeof hash) {
            accepted = std::memcmp(hash, config.pin.data(), sizeof hash) == 0;
            if (!accepted) Fail(static_cast<DWORD>(SEC_E_CERT_UNKNOWN));
        } else {
            Fail(GetLastError());
        }
    } else {
        LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
        CERT_CHAIN_PARA chainPara{};
        chainPara.cbSize = sizeof chainPara;
        chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
        chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
        chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        // The server's intermediate certificates travel in the certificate's own store.
        if (CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &chainPara, 0, nullptr, &chain)) {
            std::wstring host = config.host;
            SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
            ssl.cbSize = sizeof ssl;
            ssl.dwAuthType = AUTHTYPE_SERVER;
            ssl.pwszServerName = host.data();
            CERT_CHAIN_POLICY_PARA policy{};
            policy.cbSize = sizeof policy;
            policy.pvExtraPolicyPara = &ssl;
            CERT_CHAIN_POLICY_STATUS status{};
            status.cbSize = sizeof status;
            if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
                accepted = status.dwError == 0;
                if (!accepted) Fail(status.dwError);
            } else {
                Fail(GetLastError());
            }
            CertFreeCertificateChain(chain);
        } else {
            Fail(GetLastError());
        }
    }
    CertFreeCertificateContext(cert);
    return accepted;
}

// ---- Sending and receiving --------------------------------------------------------

bool Connection::Queue(const std::string& plain) {
    if (outSent_ > 0 && outSent_ == out_.size()) {
        out_.clear();
        outSent_ = 0;
    }
    if (!tls_) {
        out_ += plain;
        return true;
    }
    for (size_t at = 0; at < plain.size();) {
        const size_t n = std::min<size_t>(plain.size() - at, sizes_.cbMaximumMessage);
        std::string record(sizes_.cbHeader + n + sizes_.cbTrailer, '\0');
        std::memcpy(record.data() + sizes_.cbHeader, plain.data() + at, n);
        SecBuffer b[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                          {static_cast<ULONG>(n), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
                          {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + n},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS s = EncryptMessage(&context_, 0, &desc, 0);
        if (s != SEC_E_OK) {
            Fail(static_cast<DWORD>(s));
            return false;
        }
        // The trailer may come out shorter than its room.
        out_.append(record.data(), b[0].cbBuffer + b[1].cbBuffer);
        out_.append(static_cast<const char*>(b[2].pvBuffer), b[2].cbBuffer);
        at += n;
    }
    return true;
}

Io Connection::Flush() {
    while (outSent_ < out_.size()) {
        const int n = send(socket_, out_.data() + outSent_, static_cast<int>(std::min<size_t>(out_.size() - outSent_, 64 * 1024)), 0);
        if (n == SOCKET_ERROR) {
            const int e = WSAGetLastError();
            if (e == WSAEWOULDBLOCK) return Io::WouldBlock;
            Fail(static_cast<DWORD>(e));
            return Io::Failed;
        }
        outSent_ += static_cast<size_t>(n);
    }
    out_.clear();
    outSent_ = 0;
    return Io::Ok;
}

Io Connection::ReceiveRaw(std::string& into, size_t most) {
    char piece[kReadPiece];
    const int n = recv(socket_, piece, static_cast<int>(std::min(most, sizeof piece)), 0);
    if (n > 0) {
        into.append(piece, static_cast<size_t>(n));
        return Io::Ok;
    }
    if (n == 0) return Io::Closed;
    const int e = WSAGetLastError();
    if (e == WSAEWOULDBLOCK) return Io::WouldBlock;
    Fail(static_cast<DWORD>(e));
    return Io::Failed;
}

// Bytes that came before the end are handed out first; the next call
// reports the end (a closed socket keeps answering it).
Io Connection::Receive(std::string& plain) {
    const size_t before = plain.size();
    const Io r = ReceiveSome(plain);
    return (r == Io::Closed || r == Io::Failed) && plain.size() > before ? Io::Ok : r;
}

Io Connection::ReceiveSome(std::string& plain) {
    const size_t before = plain.size();
    for (;;) {
        if (plain.size() - before >= kReceiveMost) return Io::Ok;
        if (!tls_) {
            const Io r = ReceiveRaw(plain, kReadPiece);
            if (r == Io::WouldBlock) return plain.size() > before ? Io::Ok : Io::WouldBlock;
            if (r != Io::Ok) return r;
            continue;
        }
        const Io d = Decrypt(plain);
        if (d != Io::Ok) return d;
        const Io r = ReceiveRaw(tlsIn_, kReadPiece);
        if (r == Io::WouldBlock) {
            const Io last = Decrypt(plain);
            if (last != Io::Ok) return last;
            return plain.size() > before ? Io::Ok : Io::WouldBlock;
        }
        if (r != Io::Ok) return r;
        if (tlsIn_.size() > kTlsInMost) {
            const Io more = Decrypt(plain);
            if (more != Io::Ok) return more;
            if (tlsIn_.size() > kTlsInMost) {
                Fail(static_cast<DWORD>(SEC_E_INVALID_TOKEN));
                return Io::Failed;
            }
        }
    }
}

// Decrypts every whole record in tlsIn_; a partial one waits for its rest.
Io Connection::Decrypt(std::string& plain) {
    while (!tlsIn_.empty()) {
        SecBuffer b[4] = {{static_cast<ULONG>(tlsIn_.size()), SECBUFFER_DATA, tlsIn_.data()},
                          {0, SECBUFFER_EMPTY, nullptr}, {0, SECBUFFER_EMPTY, nullptr}, {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS s = DecryptMessage(&context_, &desc, 0, nullptr);
        if (s == SEC_E_INCOMPLETE_MESSAGE) return Io::Ok;
        if (s == SEC_I_CONTEXT_EXPIRED) return Io::Closed;   // the peer's close_notify
        if (s != SEC_E_OK) {
            // Renegotiation included: the client reconnects instead.
            Fail(static_cast<DWORD>(s));
            return Io::Failed;
        }
        size_t extra = 0;
        for (const SecBuffer& x : b) {
            if (x.BufferType == SECBUFFER_DATA && x.pvBuffer && x.cbBuffer) plain.append(static_cast<const char*>(x.pvBuffer), x.cbBuffer);
            if (x.BufferType == SECBUFFER_EXTRA) extra = x.cbBuffer;
        }
        // The data was decrypted in place: copy it out (above) before moving the rest.
        if (extra > 0 && extra < tlsIn_.size()) tlsIn_.erase(0, tlsIn_.size() - extra);
        else tlsIn_.clear();
    }
    return Io::Ok;
}

}  // namespace nw::mqtt
