// varnolet-run: runs a program with its standard output and standard error
// going to two files instead of to the app, so that CCO outlives the app
// without losing a line or dying of SIGPIPE when it writes after the app has
// gone. The app follows the files (outputfollower.h).
//
//   varnolet-run OUTPUT-FILE ERROR-FILE MAX-BYTES PROGRAM [ARGUMENT...]
//
// Each file is moved to FILE.1 when it would pass MAX-BYTES, and at the
// start, so the current file holds this run's latest output and FILE.1 what
// came before it. A chunk that cannot be written (a full disk) is counted
// and said in the file once it can be written again; the program is never
// held up by it. SIGTERM, SIGINT and SIGHUP are passed on to the program;
// this process ends once the program has ended and everything that holds its
// output has closed it, with the program's exit code or by its signal.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t child = 0;

void passOn(int signal)
{
    if (child > 0)
        ::kill(child, signal);
}

struct Sink
{
    std::string path;
    long long limit = 0;
    int fd = -1;
    long long size = 0;
    long long lost = 0;
    std::string why;

    void open(bool fresh)
    {
        if (fd >= 0)
            ::close(fd);
        if (fresh)
            ::rename(path.c_str(), (path + ".1").c_str());
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        struct stat st;
        size = fd >= 0 && ::fstat(fd, &st) == 0 ? st.st_size : 0;
    }

    // The bytes written; fewer than `length` when the file takes no more.
    size_t writeAll(const char *data, size_t length)
    {
        size_t done = 0;
        while (done < length) {
            const ssize_t n = ::write(fd, data + done, length - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += size_t(n);
            size += n;
        }
        return done;
    }

    void put(const char *data, size_t length)
    {
        if (size > 0 && size + (long long)length > limit)
            open(true);
        if (fd < 0)
            open(false);
        errno = 0;
        if (fd >= 0 && lost > 0) {
            const std::string note =
                "\n[" + std::to_string(lost) + " bytes of output were lost: " + why + "]\n";
            if (writeAll(note.data(), note.size()) == note.size())
                lost = 0;
        }
        const size_t done = fd >= 0 && lost == 0 ? writeAll(data, length) : 0;
        if (done == length)
            return;
        if (lost == 0)
            why = std::strerror(errno ? errno : ENOSPC);
        lost += (long long)(length - done);
        // Opened afresh at the next chunk: the disk may have room again.
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s OUTPUT-FILE ERROR-FILE MAX-BYTES PROGRAM [ARGUMENT...]\n",
                     argv[0]);
        return 2;
    }
    Sink sinks[2];
    for (int i = 0; i < 2; ++i) {
        sinks[i].path = argv[1 + i];
        sinks[i].limit = std::atoll(argv[3]);
        sinks[i].open(true);
    }
    int pipes[2][2];
    if (::pipe(pipes[0]) != 0 || ::pipe(pipes[1]) != 0) {
        std::perror("varnolet-run: pipe");
        return 127;
    }
    // The app may be gone by the time anything is written to where it was;
    // a file that may grow no more is a failed write, not an end.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("varnolet-run: fork");
        return 127;
    }
    if (pid == 0) {
        std::signal(SIGPIPE, SIG_DFL);
        std::signal(SIGXFSZ, SIG_DFL);
        const int nothing = ::open("/dev/null", O_RDONLY);
        ::dup2(nothing, 0);
        ::dup2(pipes[0][1], 1);
        ::dup2(pipes[1][1], 2);
        for (int fd : {nothing, pipes[0][0], pipes[0][1], pipes[1][0], pipes[1][1]})
            ::close(fd);
        ::execvp(argv[4], argv + 4);
        std::fprintf(stderr, "varnolet-run: %s: %s\n", argv[4], std::strerror(errno));
        std::_Exit(127);
    }
    child = pid;
    struct sigaction passing = {};
    passing.sa_handler = passOn;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &passing, nullptr);
    ::close(pipes[0][1]);
    ::close(pipes[1][1]);

    struct pollfd reading[2] = {{pipes[0][0], POLLIN, 0}, {pipes[1][0], POLLIN, 0}};
    int open = 2;
    static char buffer[65536];
    while (open > 0) {
        if (::poll(reading, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (reading[i].fd < 0 || !reading[i].revents)
                continue;
            const ssize_t n = ::read(reading[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ::close(reading[i].fd);
                reading[i].fd = -1;
                --open;
                continue;
            }
            sinks[i].put(buffer, size_t(n));
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (WIFSIGNALED(status)) {
        // Ends the way the program did, so that a crash is seen as one.
        std::signal(WTERMSIG(status), SIG_DFL);
        ::kill(::getpid(), WTERMSIG(status));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
