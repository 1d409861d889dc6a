#include "logs/action_log.h"

#include <cstring>

ActionLog g_ActionLog;

namespace {

constexpr char kSeparator[] = "------------------------------------------------------------------";
constexpr char kNewLine[] = "\r\n";

// The product line names the product and then this text.  The library has no
// release text of its own to put here, so the line ends after the product's
// name (with the blank that separates the two).
constexpr char kProductText[] = "";

constexpr const char* kNotice[] = {
    "PLEASE NOTE: If any errors concerning \"Names of Deleted Files\"",
    "             have been logged, the most likely cause is a corrupt",
    "             file system.  Before running Nullmark again, verify",
    "             the integrity of your file system using a utility such",
    "             as scandisk or chkdsk.  The likely cause for any other",
    "             logged error is that one or more files were in use by",
    "             Windows or some software application.  Try restarting",
    "             your computer and/or shutting down all applications",
    "             before running Nullmark again.",
};

// The Windows 95 releases differ only in the low 16 bits of the build number.
const char* OsName() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    const DWORD build = info.dwBuildNumber & 0xFFFF;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT)
        return "Windows NT/2000/XP";
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && build > 1000)
        return build >= 3000 ? "Windows 9x OSR3" : "Windows 9x OSR2";
    return "Windows 9x OSR1";
}

bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

void WriteText(HANDLE file, const std::string& text) {
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

std::string ActionLog::FormatHeader() {
    std::string header;
    const auto line = [&](const std::string& text) { header += text + kNewLine; };
    line(kSeparator);
    line("Action Log");
    line("");
    line(std::string("Product: Nullmark ") + kProductText);
    line(std::string("OS: ") + OsName());
    line("");
    for (const char* notice : kNotice)
        line(notice);
    line(kSeparator);
    line("");
    line("");
    return header;
}

std::string ActionLog::FormatRecord(const char* drive, const char* action, const char* problem,
                                    const std::vector<std::string>* details) {
    std::string record = kSeparator;
    record += std::string("\r\nDrive: ") + drive + "\r\nAction: " + action + "\r\nProblem: " + problem + kNewLine;
    if (details != nullptr && !details->empty()) {
        record += kNewLine;
        for (const std::string& detail : *details)
            record += detail + kNewLine;
    }
    return record;
}

void ActionLog::AddEntry(const char* drive, const char* action, const char* problem,
                         const std::vector<std::string>* details) {
    WriteToFile(FormatRecord(drive, action, problem, details).c_str());
}

void ActionLog::WriteToFile(const char* record) {
    const DWORD recordLength = static_cast<DWORD>(std::strlen(record));
    DWORD written = 0;
    if (m_bHeaderPending) {
        m_hFile = CreateFileA(kFileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
        const std::string header = FormatHeader();
        if (Valid(m_hFile)) {
            WriteText(m_hFile, header);
            WriteFile(m_hFile, record, recordLength, &written, nullptr);
            m_bHeaderPending = false;
            CloseHandle(m_hFile);
        }
    } else {
        m_hFile = CreateFileA(kFileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, 0, nullptr);
        if (Valid(m_hFile)) {
            SetFilePointer(m_hFile, 0, nullptr, FILE_END);
            WriteFile(m_hFile, record, recordLength, &written, nullptr);
            CloseHandle(m_hFile);
        }
    }
    m_hFile = INVALID_HANDLE_VALUE;
}
