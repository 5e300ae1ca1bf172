// The serial port on Windows: the Win32 communications functions on a handle
// opened without sharing; reads return at once with what the driver holds. The
// handle is opened for overlapped I/O so that a thread can wait for arriving
// bytes (WaitCommEvent) while another writes; every read and write waits for its
// own completion, so to callers they behave as before.
#include "link/SerialBackend.h"

#include <windows.h>

namespace quorix::link::serial {

namespace {

class Win32Port : public Port {
public:
    explicit Win32Port(HANDLE h)
        : h_(h), cancel_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          waitDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        SetCommMask(h_, EV_RXCHAR);
    }
    ~Win32Port() override {
        CloseHandle(h_);
        CloseHandle(cancel_);
        CloseHandle(waitDone_);
    }

    bool applySettings(const LineSettings& s, std::string& error) override {
        DCB dcb;
        ZeroMemory(&dcb, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = s.baud;
        dcb.fBinary = TRUE;
        if (s.dtrOn)
            dcb.fDtrControl = DTR_CONTROL_ENABLE;
        if (s.rts == Rts::On) {
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
        } else if (s.rts == Rts::Handshake) {
            dcb.fOutxCtsFlow = TRUE;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        }
        if (s.xonxoff) {
            dcb.fOutX = TRUE;
            dcb.fInX = TRUE;
        }
        dcb.XonLim = WORD(s.inBufSize / 4);
        dcb.XoffLim = WORD(s.inBufSize / 4);
        dcb.ByteSize = BYTE(s.dataBits);
        dcb.Parity = BYTE(s.parity);
        dcb.StopBits = BYTE(s.stopBits);
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        if (!SetCommState(h_, &dcb) || !purge(true, true) ||
            !SetupComm(h_, s.inBufSize, s.outBufSize)) {
            error = errorText(long(GetLastError()));
            return false;
        }
        COMMTIMEOUTS t;
        ZeroMemory(&t, sizeof t);
        t.ReadIntervalTimeout = MAXDWORD;
        if (!SetCommTimeouts(h_, &t)) {
            error = errorText(long(GetLastError()));
            return false;
        }
        return true;
    }

    bool purge(bool rx, bool tx) override {
        DWORD flags = 0;
        if (rx)
            flags |= PURGE_RXABORT | PURGE_RXCLEAR;
        if (tx)
            flags |= PURGE_TXABORT | PURGE_TXCLEAR;
        return PurgeComm(h_, flags) != FALSE;
    }

    std::int64_t write(const char* data, std::size_t count) override {
        return transfer(true, const_cast<char*>(data), count);
    }

    std::int64_t read(char* data, std::size_t count) override {
        return transfer(false, data, count);
    }

    bool waitForInput(unsigned ms) override {
        const std::int64_t waiting = inQueue();
        if (waiting != 0)
            return waiting > 0;
        OVERLAPPED ov;
        ZeroMemory(&ov, sizeof ov);
        ov.hEvent = waitDone_;
        ResetEvent(waitDone_);
        DWORD mask = 0;
        if (!WaitCommEvent(h_, &mask, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return false;
            const HANDLE events[] = {waitDone_, cancel_};
            if (WaitForMultipleObjects(2, events, FALSE, ms) != WAIT_OBJECT_0) {
                // Setting the mask again ends the pending wait.
                SetCommMask(h_, EV_RXCHAR);
            }
            DWORD unused = 0;
            GetOverlappedResult(h_, &ov, &unused, TRUE);
        }
        return inQueue() > 0;
    }

    void cancelWait() override { SetEvent(cancel_); }

    std::int64_t inQueue() override {
        COMSTAT st;
        DWORD errors = 0;
        return ClearCommError(h_, &errors, &st) ? std::int64_t(st.cbInQue) : -1;
    }

    std::int64_t outQueue() override {
        COMSTAT st;
        DWORD errors = 0;
        return ClearCommError(h_, &errors, &st) ? std::int64_t(st.cbOutQue) : -1;
    }

    void setDTR(bool on) override { EscapeCommFunction(h_, on ? SETDTR : CLRDTR); }
    void setRTS(bool on) override { EscapeCommFunction(h_, on ? SETRTS : CLRRTS); }

    // Not told apart here: a removed adapter ends in the watchdog's question.
    bool gone(std::string&) override { return false; }

    unsigned modemStatus() override {
        DWORD bits = 0;
        if (!GetCommModemStatus(h_, &bits))
            return 0;
        return (bits & MS_CTS_ON ? LineCTS : 0) | (bits & MS_DSR_ON ? LineDSR : 0) |
               (bits & MS_RING_ON ? LineRING : 0) | (bits & MS_RLSD_ON ? LineRLSD : 0);
    }

private:
    std::int64_t transfer(bool write, char* data, std::size_t count) {
        OVERLAPPED ov;
        ZeroMemory(&ov, sizeof ov);
        ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!ov.hEvent)
            return -1;
        DWORD done = 0;
        BOOL ok = write ? WriteFile(h_, data, DWORD(count), &done, &ov)
                        : ReadFile(h_, data, DWORD(count), &done, &ov);
        if (!ok && GetLastError() == ERROR_IO_PENDING)
            ok = GetOverlappedResult(h_, &ov, &done, TRUE);
        CloseHandle(ov.hEvent);
        return ok ? std::int64_t(done) : -1;
    }

    const HANDLE h_;
    const HANDLE cancel_;
    const HANDLE waitDone_;
};

} // namespace

std::unique_ptr<Port> openPort(const std::string& device, std::string& error, bool* denied) {
    // Windows answers "access denied" for a port another program holds, which
    // is not a matter of the user's rights.
    if (denied)
        *denied = false;
    const HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = device + ": " + errorText(long(GetLastError()));
        return nullptr;
    }
    return std::make_unique<Win32Port>(h);
}

std::string errorText(long code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : "Error " + std::to_string(code);
    LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.'))
        s.pop_back();
    return s;
}

std::string comPortName(int n) {
    return "\\\\.\\COM" + std::to_string(n);
}

} // namespace quorix::link::serial
