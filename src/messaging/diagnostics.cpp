// TransferData: the last-error text, the error box and the trace lines.
#include <cstdio>
#include <utility>

#include "messaging/transfer_data.h"
#include "platform/critical_section.h"

namespace {

// Sending threads and the receiving thread all store failures.
CriticalSection g_lastErrorLock;
CriticalSection g_traceLock;
std::function<void(const std::string&)> g_traceSink;

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
    CriticalSectionLock guard(g_lastErrorLock);
    return m_strLastError;
}

void TransferData::SetLastErrorText(const std::string& text) {
    CriticalSectionLock guard(g_lastErrorLock);
    m_strLastError = text;
}

void TransferData::ShowError(const std::string& text, BYTE self) {
    // The service runs without a desktop: a box there would hang it.
    if (self == NMService)
        return;
    MessageBoxA(nullptr, text.c_str(), kErrorTitle, MB_ICONHAND);
}

void TransferData::SetTraceSink(std::function<void(const std::string&)> sink) {
    CriticalSectionLock guard(g_traceLock);
    g_traceSink = std::move(sink);
}

void TransferData::Trace(const std::string& line) {
    CriticalSectionLock guard(g_traceLock);
    if (g_traceSink)
        g_traceSink(line);
}

// The packet lines cost two formatted copies of the packet's names; nobody
// reads them unless a sink listens, so they are composed only then.
bool TransferData::Tracing() {
    CriticalSectionLock guard(g_traceLock);
    return static_cast<bool>(g_traceSink);
}

void TransferData::TraceOutgoing(const Outgoing& packet) {
    if (!Tracing())
        return;
    Trace(PacketLine("<<< Outgoing >>>\r\n\t\t<- Caller\t= %s\r\n\t\t<- Destination\t= %s\r\n\t\t<- Operation\t= "
                     "%s\r\n\t\t<- DataLength\t= %i\r\n\t\t<- First50Bytes\t= %s",
                     CallerName(packet.caller), CallerName(packet.destination), OperationName(packet.operation),
                     packet.dataLength, FirstBytesText(packet.dataLength, packet.buffer.get() + 7)));
}

void TransferData::TraceIncoming(BYTE caller, BYTE destination, BYTE operation, DWORD length, const BYTE* data) {
    if (!Tracing())
        return;
    Trace(PacketLine(">>> Incoming <<<\r\n\t\t-> Caller\t= %s\r\n\t\t-> Destination\t= %s\r\n\t\t-> Operation\t= "
                     "%s\r\n\t\t-> DataLength\t= %i\r\n\t\t-> First50Bytes\t= %s",
                     CallerName(caller), CallerName(destination), OperationName(operation), length,
                     FirstBytesText(length, data)));
}
