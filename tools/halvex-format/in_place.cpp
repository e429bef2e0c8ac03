#include "in_place.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

namespace halvex::cli {
namespace {

volatile std::sig_atomic_t gSignal = 0;

extern "C" void NoteSignal(int signal) { gSignal = signal; }

// While it lives, SIGINT, SIGTERM and SIGHUP are only noted (unless they were
// ignored already), and SIGXFSZ is ignored so that a file size limit fails
// the write instead of killing the process. On leaving, the old actions come
// back and a noted signal is raised again.
class SignalsHeld {
   public:
    SignalsHeld() {
        struct sigaction noted {};
        noted.sa_handler = NoteSignal;
        noted.sa_flags = SA_RESTART;
        sigemptyset(&noted.sa_mask);
        for (std::size_t i = 0; i < kHeld.size(); ++i) {
            sigaction(kHeld[i], nullptr, &old_[i]);
            if (old_[i].sa_handler != SIG_IGN) sigaction(kHeld[i], &noted, nullptr);
        }
        struct sigaction ignored {};
        ignored.sa_handler = SIG_IGN;
        sigemptyset(&ignored.sa_mask);
        sigaction(SIGXFSZ, &ignored, &oldSizeLimit_);
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    ~SignalsHeld() {
        for (std::size_t i = 0; i < kHeld.size(); ++i) sigaction(kHeld[i], &old_[i], nullptr);
        sigaction(SIGXFSZ, &oldSizeLimit_, nullptr);
        if (const int signal = std::exchange(gSignal, 0); signal != 0) std::raise(signal);
    }

   private:
    static constexpr std::array<int, 3> kHeld = {SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, kHeld.size()> old_{};
    struct sigaction oldSizeLimit_ {};
};

// Closes a file descriptor when it goes.
class Descriptor {
   public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

   private:
    int fd_;
};

bool WriteAt(int fd, std::string_view data, off_t offset) {
    while (!data.empty()) {
        const ssize_t put = pwrite(fd, data.data(), data.size(), offset);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(put));
        offset += put;
    }
    return true;
}

// Makes a directory entry just created durable.
void SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) fsync(fd.get());
}

// "NAME.halvex-backup-XXXXXX" beside `file`, NAME shortened (at a UTF-8
// character boundary) when the whole would be longer than a name may be.
std::string BackupTemplate(const std::string& file) {
    constexpr std::string_view kSuffix = ".halvex-backup-XXXXXX";
    const std::size_t slash = file.rfind('/');
    const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t baseEnd = std::min(file.size(), baseStart + (NAME_MAX - kSuffix.size()));
    const auto continuation = [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; };
    while (baseEnd > baseStart && baseEnd < file.size() && continuation(file[baseEnd])) --baseEnd;
    return file.substr(0, baseEnd) + std::string(kSuffix);
}

// A copy of the old content beside the file, on disk, mapped for reading.
// Removed when it goes, unless kept.
class Backup {
   public:
    // Creates it; on failure, the reason in `error` and nothing left behind.
    static std::optional<Backup> Make(const std::string& file, std::string_view old, std::string& error) {
        std::string path = BackupTemplate(file);
        Descriptor fd(mkostemp(path.data(), O_CLOEXEC));
        if (fd.get() < 0) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        Backup backup(std::move(path), std::move(fd));
        if (!WriteAt(backup.fd_.get(), old, 0) || fsync(backup.fd_.get()) != 0) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        SyncFolderOf(backup.path_);
        if (!old.empty()) {
            void* map = mmap(nullptr, old.size(), PROT_READ, MAP_SHARED, backup.fd_.get(), 0);
            if (map == MAP_FAILED) {
                error = std::strerror(errno);
                return std::nullopt;
            }
            backup.bytes_ = {static_cast<const char*>(map), old.size()};
        }
        return backup;
    }

    Backup(Backup&& other) noexcept
        : path_(std::move(other.path_)), fd_(std::move(other.fd_)), bytes_(std::exchange(other.bytes_, {})),
          keep_(std::exchange(other.keep_, true)) {}
    Backup& operator=(Backup&&) = delete;
    ~Backup() {
        if (!bytes_.empty()) munmap(const_cast<char*>(bytes_.data()), bytes_.size());
        if (!keep_) unlink(path_.c_str());
    }

    std::string_view bytes() const { return bytes_; }
    const std::string& path() const { return path_; }
    void keep() { keep_ = true; }

   private:
    Backup(std::string path, Descriptor fd) : path_(std::move(path)), fd_(std::move(fd)) {}
    std::string path_;
    Descriptor fd_;
    std::string_view bytes_;
    bool keep_ = false;
};

// Thrown from the sink to stop a rewrite that cannot or must not go on.
struct Stop {};

// Writes what `produce` hands over into `fd` from its start, cuts the file
// there and syncs it. Returns 0, the errno of the failure, or EINTR when a
// held signal came (only noticed if `stopOnSignal`). The producer is stopped
// by an exception at the first failure; pieces that it still hands over while
// unwinding are dropped.
int Overwrite(int fd, const std::function<void(const TextSink&)>& produce, bool stopOnSignal) {
    off_t at = 0;
    int error = 0;
    bool stopping = false;
    try {
        produce([&](std::string_view piece) {
            if (stopping) return;
            if (stopOnSignal && gSignal != 0) error = EINTR;
            if (error == 0 && !WriteAt(fd, piece, at)) error = errno;
            stopping = error != 0;
            if (stopping) throw Stop{};
            at += static_cast<off_t>(piece.size());
        });
    } catch (const Stop&) {
    }
    if (error == 0 && stopOnSignal && gSignal != 0) error = EINTR;
    if (error == 0 && (ftruncate(fd, at) != 0 || fsync(fd) != 0)) error = errno;
    return error;
}

}  // namespace

bool IsRewritable(const std::string& file, const Complaint& complain) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        complain(std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        complain("not a regular file; left as it was");
        return false;
    }
    return true;
}

bool RewriteInPlace(const std::string& file, std::string_view old, const Rewrite& rewrite, const Complaint& complain) {
    const SignalsHeld held;
    // Opening for writing checks the user's right to write the file itself,
    // whatever the folder allows; O_NONBLOCK keeps a pipe put in its place
    // meanwhile from blocking the open.
    const Descriptor fd(open(file.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || fstat(fd.get(), &info) != 0) {
        complain(std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        complain("not a regular file; left as it was");
        return false;
    }
    std::string error;
    std::optional<Backup> backup = Backup::Make(file, old, error);
    if (!backup) {
        complain("cannot make a backup beside it: " + error + "; left as it was");
        return false;
    }
    if (gSignal != 0) {
        complain("interrupted; left as it was");
        return false;
    }
    const std::string_view saved = backup->bytes();
    const int failure = Overwrite(fd.get(), [&](const TextSink& sink) { rewrite(saved, sink); }, true);
    if (failure == 0) return true;
    const std::string what = failure == EINTR ? "interrupted" : std::string("cannot write: ") + std::strerror(failure);
    if (Overwrite(fd.get(), [&](const TextSink& sink) { sink(saved); }, false) == 0) {
        complain(what + "; left as it was");
    } else {
        backup->keep();
        complain(what + "; its old content is in " + backup->path());
    }
    return false;
}

}  // namespace halvex::cli
