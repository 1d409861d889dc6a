// Named pipes on Unix-domain stream sockets.
//
// The pipes of a shared machine live in "<machine folder>/pipes", so that its
// processes reach each other; a machine of one process uses a private
// temporary folder that goes away with the process.  Instance k of a pipe is
// two files there:
//   NAME.k.inst   the instance exists: "pid openMode maxInstances inQuota outQuota"
//   NAME.k.sock   the instance listens for a client
// A client takes a listening instance by renaming its socket file to a name
// of its own, which only one client can do; the instance is then busy until
// the server disconnects it and listens again, as on Windows.
//
// The bytes travel in frames so that the reader can tell the writer what it
// has consumed: WriteFile (when the pipe buffers nothing) and FlushFileBuffers
// wait for those acknowledgements, as Windows waits for the reader.
#include "pipes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "errors.h"
#include "faults.h"
#include "files.h"
#include "files_internal.h"
#include "machine_state.h"
#include "registry_store.h"

namespace hostwin::detail {
namespace {

constexpr char kPipePrefix[] = "\\\\.\\pipe\\";
constexpr size_t kPipePrefixLength = sizeof kPipePrefix - 1;
constexpr DWORD kMaxSlots = PIPE_UNLIMITED_INSTANCES;

// ---------------------------------------------------------------- the folder

class PrivateFolder {
public:
    const std::string& Path() {
        std::lock_guard lock(mutex_);
        if (path_.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/hostwin-pipes-XXXXXX";
            if (::mkdtemp(pattern.data()) != nullptr)
                path_ = pattern;
        }
        return path_;
    }
    ~PrivateFolder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }

private:
    std::mutex mutex_;
    std::string path_;
};

std::string PipeFolder() {
    const std::string machine = MachineFolder();
    if (machine.empty()) {
        static PrivateFolder folder;
        return folder.Path();
    }
    const std::string folder = machine + "/pipes";
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

bool SameEntry(int fd, const std::string& path) {
    struct stat open, named;
    return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// A socket address for a file of the folder.  Socket paths are limited to
// about 100 characters; a longer one is reached through an open descriptor of
// the folder, opened again when the folder was removed and made anew.
bool SocketAddress(const std::string& folder, const std::string& file, sockaddr_un* address) {
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::string path = folder + "/" + file;
    if (path.size() >= sizeof address->sun_path) {
        static std::mutex mutex;
        static auto* folders = new std::map<std::string, int>;  // a thread may still ask as the program ends
        std::lock_guard lock(mutex);
        int& fd = (*folders)[folder];
        if (fd > 0 && !SameEntry(fd, folder)) {
            ::close(fd);
            fd = 0;
        }
        if (fd <= 0)
            fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        path = "/proc/self/fd/" + std::to_string(fd) + "/" + file;
        if (fd < 0 || path.size() >= sizeof address->sun_path)
            return false;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Pipe names compare without regard to case.  A name becomes a file name of
// letters, digits and %XX escapes; a very long one becomes its hash.
bool PipeFileName(const std::string& pipeName, std::string* file) {
    if (pipeName.size() <= kPipePrefixLength || !SameName(pipeName.substr(0, kPipePrefixLength), kPipePrefix))
        return false;
    std::string encoded;
    for (unsigned char c : pipeName.substr(kPipePrefixLength)) {
        c = static_cast<unsigned char>(std::tolower(c));
        if (std::isalnum(c) || c == '_' || c == '-') {
            encoded += static_cast<char>(c);
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            encoded += escape;
        }
    }
    // The longest socket path is 107 characters, and a file beside its
    // folder's descriptor ("/proc/self/fd/N/") has about 88 of them; a passing
    // file adds 33 at most to the name (".S.bound.PID.COUNT").
    if (encoded.size() > 48) {
        std::uint64_t hash = 1469598103934665603ull;
        for (char c : encoded)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        char text[24];
        std::snprintf(text, sizeof text, "#%016llx", static_cast<unsigned long long>(hash));
        encoded = text;
    }
    *file = encoded;
    return true;
}

std::string SlotFile(const std::string& name, DWORD slot, const char* kind) {
    return name + "." + std::to_string(slot) + "." + kind;
}

// A name of this process's own for a slot's socket file on its way: bound
// before it listens, or claimed by a client before it connects.
std::string PassingFile(const std::string& name, DWORD slot, const char* kind) {
    static std::atomic<unsigned> count{0};
    return SlotFile(name, slot, kind) + "." + std::to_string(::getpid()) + "." + std::to_string(count.fetch_add(1));
}

struct InstanceInfo {
    long pid = 0;
    DWORD openMode = 0;
    DWORD maxInstances = 0;
    DWORD inQuota = 0;
    DWORD outQuota = 0;
};

bool ProcessAlive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

// A slot's marker file: none, one whose server process still runs, or one
// left by a process that has ended.  A marker appears whole (it is linked
// into place once written), so one that cannot be read is stale too.
enum class Marker { kMissing, kLive, kStale };

Marker ReadInstance(const std::string& markerPath, InstanceInfo* info) {
    struct stat st;
    if (::stat(markerPath.c_str(), &st) != 0)
        return Marker::kMissing;
    std::ifstream in(markerPath);
    if (!(in >> info->pid >> info->openMode >> info->maxInstances >> info->inQuota >> info->outQuota))
        return Marker::kStale;
    return ProcessAlive(info->pid) ? Marker::kLive : Marker::kStale;
}

// ---------------------------------------------------------------- one connected end

enum FrameType : BYTE { kData = 1, kAck = 2, kBye = 3 };

bool SendAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReceiveAll(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    int n;
    do
        n = ::poll(&p, 1, timeoutMs);
    while (n < 0 && errno == EINTR);
    return n > 0;
}

// One end of a connection: the client's, or the server's while a client is
// connected.  Bytes received wait in `inbox_` until ReadFile takes them.
class PipeEnd : public KernelObject {
public:
    DWORD Read(void* buffer, DWORD size, DWORD* read) override;
    DWORD Write(const void* buffer, DWORD size, DWORD* written) override;
    DWORD Flush() override;
    ~PipeEnd() override { CloseConnection(false); }

protected:
    PipeEnd(bool canRead, bool canWrite, DWORD writeQuota)
        : canRead_(canRead), canWrite_(canWrite), writeQuota_(writeQuota) {}

    // Not connected: the error that reading or writing reports (server only).
    virtual DWORD NotConnectedError() { return ERROR_PIPE_NOT_CONNECTED; }

    void Adopt(int fd) {
        std::lock_guard io(io_);
        fd_ = fd;
        inbox_.clear();
        written_ = acked_ = 0;
        peerClosed_ = peerDisconnected_ = false;
    }
    // `bye` tells the other end that it was disconnected rather than closed.
    void CloseConnection(bool bye) {
        std::lock_guard io(io_);
        if (fd_ < 0)
            return;
        if (bye)
            SendFrame(kBye, 0, nullptr);
        ::close(fd_);
        fd_ = -1;
        inbox_.clear();
    }
    bool Connected() {
        std::lock_guard io(io_);
        return fd_ >= 0;
    }

private:
    bool SendFrame(BYTE type, DWORD value, const void* payload);
    // Takes one frame from the socket; false when the other end is gone (or,
    // without `block`, when no frame is ready).  Called with io_ held.
    bool PullFrame(bool block);
    DWORD GoneError(bool writing) const {
        if (peerDisconnected_)
            return ERROR_PIPE_NOT_CONNECTED;
        return writing ? ERROR_NO_DATA : ERROR_BROKEN_PIPE;
    }
    // Waits, with io_ held, until at most `unread` written bytes are unread.
    DWORD WaitForReader(ULONGLONG unread);

    const bool canRead_;
    const bool canWrite_;
    const DWORD writeQuota_;
    std::mutex io_;    // the receiving side of the socket and the fields below
    std::mutex send_;  // one frame at a time
    int fd_ = -1;
    std::string inbox_;
    ULONGLONG written_ = 0;
    ULONGLONG acked_ = 0;
    bool peerClosed_ = false;
    bool peerDisconnected_ = false;
};

bool PipeEnd::SendFrame(BYTE type, DWORD value, const void* payload) {
    BYTE header[5] = {type, static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                      static_cast<BYTE>(value >> 24)};
    std::lock_guard lock(send_);
    return SendAll(fd_, header, sizeof header) && (type != kData || SendAll(fd_, payload, value));
}

bool PipeEnd::PullFrame(bool block) {
    if (peerClosed_ || fd_ < 0)
        return false;
    if (!block && !Readable(fd_, 0))
        return false;
    BYTE header[5];
    if (!ReceiveAll(fd_, header, sizeof header)) {
        peerClosed_ = true;
        return false;
    }
    const DWORD value = header[1] | header[2] << 8 | header[3] << 16 | static_cast<DWORD>(header[4]) << 24;
    switch (header[0]) {
        case kData: {
            const size_t old = inbox_.size();
            inbox_.resize(old + value);
            if (!ReceiveAll(fd_, inbox_.data() + old, value)) {
                inbox_.resize(old);
                peerClosed_ = true;
                return false;
            }
            break;
        }
        case kAck: acked_ += value; break;
        case kBye: peerDisconnected_ = true; break;
        default: peerClosed_ = true; return false;
    }
    return true;
}

DWORD PipeEnd::Read(void* buffer, DWORD size, DWORD* read) {
    if (!canRead_)
        return ERROR_ACCESS_DENIED;
    std::lock_guard io(io_);
    if (fd_ < 0)
        return NotConnectedError();
    // A byte pipe hands over what has arrived, up to the size asked for, and
    // blocks only while nothing has.
    while (inbox_.empty())
        if (!PullFrame(true))
            return GoneError(false);
    while (PullFrame(false)) {
    }
    const DWORD n = static_cast<DWORD>(std::min<size_t>(size, inbox_.size()));
    std::memcpy(buffer, inbox_.data(), n);
    inbox_.erase(0, n);
    *read = n;
    if (n > 0)
        SendFrame(kAck, n, nullptr);  // a writer gone meanwhile is no reader's error
    return ERROR_SUCCESS;
}

DWORD PipeEnd::WaitForReader(ULONGLONG unread) {
    while (written_ - acked_ > unread)
        if (!PullFrame(true))
            return GoneError(true);
    return ERROR_SUCCESS;
}

DWORD PipeEnd::Write(const void* buffer, DWORD size, DWORD* written) {
    if (!canWrite_)
        return ERROR_ACCESS_DENIED;
    std::lock_guard io(io_);
    if (fd_ < 0)
        return NotConnectedError();
    if (peerClosed_)
        return GoneError(true);
    if (size == 0)
        return ERROR_SUCCESS;
    if (!SendFrame(kData, size, buffer)) {
        while (PullFrame(false)) {
        }  // a farewell frame may be waiting
        return GoneError(true);
    }
    written_ += size;
    const DWORD error = WaitForReader(writeQuota_);
    if (error == ERROR_SUCCESS)
        *written = size;
    return error;
}

DWORD PipeEnd::Flush() {
    std::lock_guard io(io_);
    return fd_ < 0 ? ERROR_SUCCESS : WaitForReader(0);
}

// ---------------------------------------------------------------- the two ends

class PipeClient : public PipeEnd {
public:
    PipeClient(int fd, bool canRead, bool canWrite, DWORD writeQuota) : PipeEnd(canRead, canWrite, writeQuota) {
        Adopt(fd);
    }
};

class PipeServer : public PipeEnd {
public:
    PipeServer(std::string folder, std::string name, DWORD slot, const InstanceInfo& info)
        : PipeEnd((info.openMode & PIPE_ACCESS_INBOUND) != 0, (info.openMode & PIPE_ACCESS_OUTBOUND) != 0,
                  info.outQuota),
          folder_(std::move(folder)),
          name_(std::move(name)),
          slot_(slot) {}
    ~PipeServer() override {
        StopListening();
        ::unlink(FilePath("inst").c_str());
    }

    bool Listen();
    DWORD Connect();
    DWORD Disconnect();

protected:
    DWORD NotConnectedError() override {
        std::lock_guard lock(state_);
        return listenFd_ >= 0 ? ERROR_PIPE_LISTENING : ERROR_PIPE_NOT_CONNECTED;
    }

private:
    std::string FilePath(const char* kind) const { return folder_ + "/" + SlotFile(name_, slot_, kind); }
    void StopListening() {
        std::lock_guard lock(state_);
        if (listenFd_ >= 0) {
            ::close(listenFd_);
            listenFd_ = -1;
            ::unlink(FilePath("sock").c_str());
        }
    }

    const std::string folder_;
    const std::string name_;
    const DWORD slot_;
    std::mutex state_;
    int listenFd_ = -1;
};

// The socket is bound under a name of its own and takes the slot's name only
// once it listens: a client that claimed it between bind and listen would be
// refused, and would take the file with it, leaving the instance listening
// where no client can ever find it.
bool PipeServer::Listen() {
    const std::string bound = PassingFile(name_, slot_, "bound");
    sockaddr_un address;
    if (!SocketAddress(folder_, bound, &address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const std::string boundPath = folder_ + "/" + bound;
    ::unlink(boundPath.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0 ||
        ::rename(boundPath.c_str(), FilePath("sock").c_str()) != 0) {
        ::close(fd);
        ::unlink(boundPath.c_str());
        return false;
    }
    std::lock_guard lock(state_);
    listenFd_ = fd;
    return true;
}

DWORD PipeServer::Connect() {
    if (Connected())
        return ERROR_PIPE_CONNECTED;
    int listenFd;
    {
        std::lock_guard lock(state_);
        listenFd = listenFd_;
    }
    if (listenFd < 0) {
        if (!Listen())
            return ERROR_BAD_PIPE;
        std::lock_guard lock(state_);
        listenFd = listenFd_;
    }
    // A client that opened the instance before this call is connected
    // already: Windows says so with ERROR_PIPE_CONNECTED.
    const bool early = Readable(listenFd, 0);
    if (!early)
        Readable(listenFd, -1);
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return ERROR_BAD_PIPE;
    // The client has taken the socket file; the instance listens no more.
    {
        std::lock_guard lock(state_);
        ::close(listenFd_);
        listenFd_ = -1;
    }
    Adopt(fd);
    return early ? ERROR_PIPE_CONNECTED : ERROR_SUCCESS;
}

DWORD PipeServer::Disconnect() {
    if (Connected()) {
        CloseConnection(true);  // unread bytes are dropped
        return ERROR_SUCCESS;
    }
    std::lock_guard lock(state_);
    return listenFd_ >= 0 ? ERROR_PIPE_LISTENING : ERROR_SUCCESS;
}

}  // namespace

HANDLE OpenPipeClient(const std::string& pipeName, DWORD access, DWORD* error) {
    std::string name;
    if (!PipeFileName(pipeName, &name)) {
        *error = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    const std::string folder = PipeFolder();
    const bool wantsRead = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
    const bool wantsWrite = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    bool anyInstance = false;
    for (DWORD slot = 0; slot < kMaxSlots; ++slot) {
        InstanceInfo info;
        if (ReadInstance(folder + "/" + SlotFile(name, slot, "inst"), &info) != Marker::kLive)
            continue;
        anyInstance = true;
        if ((wantsRead && !(info.openMode & PIPE_ACCESS_OUTBOUND)) ||
            (wantsWrite && !(info.openMode & PIPE_ACCESS_INBOUND))) {
            *error = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        const std::string claim = PassingFile(name, slot, "claim");
        if (::rename((folder + "/" + SlotFile(name, slot, "sock")).c_str(), (folder + "/" + claim).c_str()) != 0)
            continue;  // not listening: serving another client, or disconnected
        sockaddr_un address;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected = fd >= 0 && SocketAddress(folder, claim, &address) &&
                               ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::unlink((folder + "/" + claim).c_str());
        if (!connected) {
            if (fd >= 0)
                ::close(fd);
            continue;  // the server closed the instance meanwhile
        }
        *error = ERROR_SUCCESS;
        return NewHandle(std::make_shared<PipeClient>(fd, wantsRead, wantsWrite, info.inQuota));
    }
    *error = anyInstance ? ERROR_PIPE_BUSY : ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
}

}  // namespace hostwin::detail

using namespace hostwin::detail;

namespace {

enum class Published { kOurs, kTaken, kFailed };

// Puts a slot's marker in place, whole: written under a name of this
// process's own, then linked to the marker's name, which fails when another
// server has the slot.
Published PublishInstance(const std::string& folder, const std::string& name, DWORD slot, const InstanceInfo& info) {
    const std::string passing = folder + "/" + PassingFile(name, slot, "inst");
    const int fd = ::open(passing.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return Published::kFailed;
    const std::string text = std::to_string(info.pid) + " " + std::to_string(info.openMode) + " " +
                             std::to_string(info.maxInstances) + " " + std::to_string(info.inQuota) + " " +
                             std::to_string(info.outQuota) + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    const bool linked = written && ::link(passing.c_str(), (folder + "/" + SlotFile(name, slot, "inst")).c_str()) == 0;
    const bool taken = written && !linked && errno == EEXIST;
    ::unlink(passing.c_str());
    return linked ? Published::kOurs : taken ? Published::kTaken : Published::kFailed;
}

// Takes away the marker of a server whose process has ended.  It is moved
// aside first: a marker that another server put in its place meanwhile is
// put back, not lost.
void RemoveStaleInstance(const std::string& folder, const std::string& name, DWORD slot) {
    const std::string marker = folder + "/" + SlotFile(name, slot, "inst");
    const std::string aside = folder + "/" + PassingFile(name, slot, "stale");
    if (::rename(marker.c_str(), aside.c_str()) != 0)
        return;
    InstanceInfo moved;
    if (ReadInstance(aside, &moved) == Marker::kLive)
        ::link(aside.c_str(), marker.c_str());
    ::unlink(aside.c_str());
}

// Takes a free instance slot of the pipe, or fails with ERROR_PIPE_BUSY when
// all the instances it allows exist.  The first instance sets the maximum.
HANDLE CreateInstance(const std::string& folder, const std::string& name, InstanceInfo info) {
    for (DWORD slot = 0; slot < kMaxSlots; ++slot) {
        Published published = Published::kTaken;
        bool live = false;
        while (published == Published::kTaken) {  // taken by another server just now: look again
            InstanceInfo existing;
            const Marker found = ReadInstance(folder + "/" + SlotFile(name, slot, "inst"), &existing);
            live = found == Marker::kLive;
            if (live) {
                info.maxInstances = existing.maxInstances;
                break;
            }
            if (slot >= info.maxInstances) {
                SetLastError(ERROR_PIPE_BUSY);
                return INVALID_HANDLE_VALUE;
            }
            if (found == Marker::kStale)
                RemoveStaleInstance(folder, name, slot);
            published = PublishInstance(folder, name, slot, info);
        }
        if (live)
            continue;
        if (published != Published::kOurs) {
            SetLastError(ERROR_BAD_PIPE);
            return INVALID_HANDLE_VALUE;
        }
        auto server = std::make_shared<PipeServer>(folder, name, slot, info);
        if (!server->Listen()) {
            SetLastError(ERROR_BAD_PIPE);
            return INVALID_HANDLE_VALUE;
        }
        SetLastError(ERROR_SUCCESS);
        return NewHandle(std::move(server));
    }
    SetLastError(ERROR_PIPE_BUSY);
    return INVALID_HANDLE_VALUE;
}

std::shared_ptr<PipeServer> FindServer(HANDLE handle) {
    auto object = LookUp(handle);
    auto server = std::dynamic_pointer_cast<PipeServer>(object);
    if (!server)
        SetLastError(object ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    return server;
}

BOOL Result(DWORD error) {
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

}  // namespace

HANDLE WINAPI CreateNamedPipeA(LPCSTR lpName, DWORD dwOpenMode, DWORD dwPipeMode, DWORD nMaxInstances,
                               DWORD nOutBufferSize, DWORD nInBufferSize, DWORD /*nDefaultTimeOut*/,
                               LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
    std::string name;
    if (lpName == nullptr || !PipeFileName(lpName, &name)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if ((dwOpenMode & PIPE_ACCESS_DUPLEX) == 0 || nMaxInstances == 0 || nMaxInstances > PIPE_UNLIMITED_INSTANCES) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (dwPipeMode & (PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_NOWAIT)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    const std::string folder = PipeFolder();
    if (folder.empty()) {
        SetLastError(ERROR_BAD_PIPE);
        return INVALID_HANDLE_VALUE;
    }
    InstanceInfo info{::getpid(), dwOpenMode & PIPE_ACCESS_DUPLEX, nMaxInstances, nInBufferSize, nOutBufferSize};
    return CreateInstance(folder, name, info);
}

BOOL WINAPI ConnectNamedPipe(HANDLE hNamedPipe, LPOVERLAPPED /*lpOverlapped*/) {
    auto server = FindServer(hNamedPipe);
    return server ? Result(server->Connect()) : FALSE;
}

BOOL WINAPI DisconnectNamedPipe(HANDLE hNamedPipe) {
    auto server = FindServer(hNamedPipe);
    return server ? Result(server->Disconnect()) : FALSE;
}

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
    if (hostwin::detail::FailIfInjected("InitializeSecurityDescriptor"))
        return FALSE;
    if (dwRevision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    *sd = SECURITY_DESCRIPTOR{};
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, PACL pDacl,
                                      BOOL bDaclDefaulted) {
    if (hostwin::detail::FailIfInjected("SetSecurityDescriptorDacl"))
        return FALSE;
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    sd->Control = static_cast<SECURITY_DESCRIPTOR_CONTROL>(sd->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    if (bDaclPresent) {
        sd->Control |= SE_DACL_PRESENT;
        if (bDaclDefaulted)
            sd->Control |= SE_DACL_DEFAULTED;
        sd->Dacl = pDacl;  // null: everyone may use the object
    } else {
        sd->Dacl = nullptr;
    }
    return TRUE;
}
