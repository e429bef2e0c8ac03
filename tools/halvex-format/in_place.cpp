#include "in_place.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "source_file.hpp"

namespace halvex::cli {
namespace {

volatile std::sig_atomic_t gSignal = 0;
std::array<struct sigaction, NSIG> gOldActions{};

// Whether `signal` ends the process by default and can be caught.
bool EndsTheProcess(int signal) {
    switch (signal) {
        case SIGKILL:
        case SIGSTOP:
        case SIGCHLD:
        case SIGCONT:
        case SIGURG:
        case SIGWINCH:
        case SIGTSTP:
        case SIGTTIN:
        case SIGTTOU:
            return false;
        default:
            return true;
    }
}

extern "C" void NoteSignal(int signal, siginfo_t* info, void*) {
    // A fault of this process's own, not one sent to it, cannot wait: its
    // former action takes it when the faulting instruction runs again.
    const bool fault = signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE ||
                       signal == SIGTRAP || signal == SIGSYS;
    if (fault && info->si_code > 0) {
        sigaction(signal, &gOldActions[static_cast<std::size_t>(signal)], nullptr);
        return;
    }
    gSignal = signal;
}

// While it lives, every signal that would end the process is only noted
// (unless it was ignored already), but SIGXFSZ is ignored, so that a file
// size limit fails the write instead. On leaving, the old actions come back
// and a noted signal is raised again.
class SignalsHeld {
   public:
    SignalsHeld() {
        struct sigaction noted {};
        noted.sa_sigaction = NoteSignal;
        noted.sa_flags = SA_RESTART | SA_SIGINFO;
        sigemptyset(&noted.sa_mask);
        struct sigaction ignored {};
        ignored.sa_handler = SIG_IGN;
        sigemptyset(&ignored.sa_mask);
        for (int signal = 1; signal < NSIG; ++signal) {
            struct sigaction& old = gOldActions[static_cast<std::size_t>(signal)];
            held_[static_cast<std::size_t>(signal)] =
                EndsTheProcess(signal) && sigaction(signal, nullptr, &old) == 0 &&
                old.sa_handler != SIG_IGN && sigaction(signal, signal == SIGXFSZ ? &ignored : &noted, nullptr) == 0;
        }
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    ~SignalsHeld() {
        for (int signal = 1; signal < NSIG; ++signal) {
            if (held_[static_cast<std::size_t>(signal)]) {
                sigaction(signal, &gOldActions[static_cast<std::size_t>(signal)], nullptr);
            }
        }
        if (const int signal = std::exchange(gSignal, 0); signal != 0) std::raise(signal);
    }

   private:
    std::array<bool, NSIG> held_{};
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

// Makes a change to the entries of the folder of `path` durable.
void SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) fsync(fd.get());
}

constexpr std::string_view kUnfinished = ".halvex-tmp-XXXXXX";
constexpr std::string_view kBackup = ".halvex-backup-XXXXXX";

// `file` followed by `suffix`, its last name shortened (at a UTF-8 character
// boundary) so that it stays within the length a name may have with either
// suffix.
std::string BesideFile(const std::string& file, std::string_view suffix) {
    const std::size_t slash = file.rfind('/');
    const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t baseEnd = std::min(file.size(), baseStart + (NAME_MAX - kBackup.size()));
    const auto continuation = [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; };
    while (baseEnd > baseStart && baseEnd < file.size() && continuation(file[baseEnd])) --baseEnd;
    return file.substr(0, baseEnd) + std::string(suffix);
}

// Gives `from` the name `to`, unless that name is taken.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system that cannot refuse a taken name by itself.
    struct stat taken {};
    if (lstat(to.c_str(), &taken) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

// A whole copy of the old content beside the file, on disk. It is written
// under a name that says it is unfinished, synced, and only then renamed, so
// a name "NAME.halvex-backup-XXXXXX" always stands for a whole copy. It
// stays unless removed.
class Backup {
   public:
    // Makes it; on failure, the reason in `error` and nothing left behind.
    static std::optional<Backup> Make(const std::string& file, std::string_view old, std::string& error) {
        std::string unfinished = BesideFile(file, kUnfinished);
        std::string path = BesideFile(file, kBackup);
        const Descriptor fd(mkostemp(unfinished.data(), O_CLOEXEC));
        if (fd.get() < 0) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        path.replace(path.size() - 6, 6, unfinished, unfinished.size() - 6, 6);
        if (!WriteAt(fd.get(), old, 0) || fsync(fd.get()) != 0 || !RenameNoReplace(unfinished, path)) {
            error = std::strerror(errno);
            unlink(unfinished.c_str());
            return std::nullopt;
        }
        SyncFolderOf(path);
        return Backup(std::move(path));
    }

    const std::string& path() const { return path_; }
    void Remove() const { unlink(path_.c_str()); }

   private:
    explicit Backup(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

// Thrown from the sink to stop a rewrite that cannot or must not go on.
struct Stop {};

// Writes what `produce` hands over into `fd` from its start, cuts the file
// there and syncs it. Returns 0, the errno of the failure, EINTR when a held
// signal came (only noticed if `stopOnSignal`), or ENOMEM when the producer
// threw (an allocation that failed). The producer is stopped by an exception
// at the first failure; pieces that it still hands over while unwinding are
// dropped.
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
    } catch (...) {
        error = ENOMEM;
    }
    if (error == 0 && stopOnSignal && gSignal != 0) error = EINTR;
    if (error == 0 && (ftruncate(fd, at) != 0 || fsync(fd) != 0)) error = errno;
    return error;
}

// Whether the open file `fd`, of `size` bytes, still holds `content`: an
// editor may have saved over it while it was formatted, and rewriting it then
// would throw that save away. Compares a block at a time.
bool StillHolds(int fd, off_t size, std::string_view content) {
    if (static_cast<std::uintmax_t>(size) != content.size()) return false;
    std::array<char, 1 << 16> block;
    for (std::size_t at = 0; at < content.size();) {
        const ssize_t got = pread(fd, block.data(), std::min(block.size(), content.size() - at), static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || content.compare(at, static_cast<std::size_t>(got), block.data(), static_cast<std::size_t>(got)) != 0) {
            return false;
        }
        at += static_cast<std::size_t>(got);
    }
    return true;
}

std::string Describe(int failure) {
    if (failure == EINTR) return "interrupted";
    if (failure == ENOMEM) return "out of memory";
    return std::string("cannot write: ") + std::strerror(failure);
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
    if (!StillHolds(fd.get(), info.st_size, old)) {
        complain("changed since it was read; left as it was");
        return false;
    }
    std::string error;
    const std::optional<Backup> backup = Backup::Make(file, old, error);
    if (!backup) {
        complain("cannot make a backup beside it: " + error + "; left as it was");
        return false;
    }
    if (gSignal != 0) {
        backup->Remove();
        complain("interrupted; left as it was");
        return false;
    }
    const int failure = Overwrite(fd.get(), [&](const TextSink& sink) { rewrite(old, sink); }, true);
    if (failure == 0) {
        backup->Remove();
        return true;
    }
    if (Overwrite(fd.get(), [&](const TextSink& sink) { sink(old); }, false) == 0) {
        backup->Remove();
        complain(Describe(failure) + "; left as it was");
    } else {
        complain(Describe(failure) + "; its old content is in " + backup->path());
    }
    return false;
}

}  // namespace halvex::cli
