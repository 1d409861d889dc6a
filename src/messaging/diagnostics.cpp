// TransferData: the last-error text, the error box and the trace lines.
#include <cstdio>
#include <mutex>
#include <utility>

#include "messaging/transfer_data.h"

namespace {

// The sending thread and the receiving thread both store failures.
std::mutex& LastErrorLock() {
    static std::mutex lock;
    return lock;
}

std::mutex& TraceLock() {
    static std::mutex lock;
    return lock;
}

std::function<void(const std::string&)>& TraceSink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

constexpr char kErrorTitle[] = "Error";

std::string PacketLine(const char* format, const std::string& caller, const std::string& destination,
                       const std::string& operation, DWORD length, const std::string& firstBytes) {
    const int n = std::snprintf(nullptr, 0, format, caller.c_str(), destination.c_str(), operation.c_str(),
                                static_cast<int>(length), firstBytes.c_str());
    std::string line(static_cast<size_t>(n), '\0');
    std::snprintf(line.data(), line.size() + 1, format, caller.c_str(), destination.c_str(), operation.c_str(),
                  static_cast<int>(length), firstBytes.c_str());
    return line;
}

}  // namespace

std::string TransferData::m_strLastError = "No Previous Errors.";

std::string TransferData::GetLastErrorText() {
    std::lock_guard<std::mutex> guard(LastErrorLock());
    return m_strLastError;
}

void TransferData::SetLastErrorText(const std::string& text) {
    std::lock_guard<std::mutex> guard(LastErrorLock());
    m_strLastError = text;
}

void TransferData::ShowError(const std::string& text) {
    // The service runs without a desktop: a box there would hang it.
    if (m_byCaller == NMService)
        return;
    MessageBoxA(nullptr, text.c_str(), kErrorTitle, MB_ICONHAND);
}

void TransferData::SetTraceSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> guard(TraceLock());
    TraceSink() = std::move(sink);
}

void TransferData::Trace(const std::string& line) {
    std::lock_guard<std::mutex> guard(TraceLock());
    if (TraceSink())
        TraceSink()(line);
}

// The packet lines cost two formatted copies of the packet's names; nobody
// reads them unless a sink listens, so they are composed only then.
bool TransferData::Tracing() {
    std::lock_guard<std::mutex> guard(TraceLock());
    return static_cast<bool>(TraceSink());
}

void TransferData::TraceOutgoing() {
    if (!Tracing())
        return;
    Trace(PacketLine("<<< Outgoing >>>\r\n\t\t<- Caller\t= %s\r\n\t\t<- Destination\t= %s\r\n\t\t<- Operation\t= "
                     "%s\r\n\t\t<- DataLength\t= %i\r\n\t\t<- First50Bytes\t= %s",
                     CallerName(m_byCaller), CallerName(m_byDestination), OperationName(m_byOperation),
                     m_dwDataLength, FirstBytesText(m_dwDataLength, m_pSendBuffer + 7)));
}

void TransferData::TraceIncoming(BYTE caller, BYTE destination, BYTE operation, DWORD length, const BYTE* data) {
    if (!Tracing())
        return;
    Trace(PacketLine(">>> Incoming <<<\r\n\t\t-> Caller\t= %s\r\n\t\t-> Destination\t= %s\r\n\t\t-> Operation\t= "
                     "%s\r\n\t\t-> DataLength\t= %i\r\n\t\t-> First50Bytes\t= %s",
                     CallerName(caller), CallerName(destination), OperationName(operation), length,
                     FirstBytesText(length, data)));
}
