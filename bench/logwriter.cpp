// Writes realistic CCO log lines to standard output, each starting with the
// CLOCK_MONOTONIC time in microseconds at which it was written, so that a
// reader on the same machine can tell how far behind it is.
//
//   logwriter flood BYTES          as fast as it can
//   logwriter rate BYTES_PER_SECOND SECONDS
//   logwriter ready [BYTES]        BYTES as fast as it can first, if given; then
//                                  serves a page on 127.0.0.1:9999, as CCO does,
//                                  says its readiness line, and serves until killed;
//                                  its pid and the line's time go to logwriter.pid
//                                  and logwriter.ready in the working folder

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

long long nowMicros()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

bool writeAll(const std::string &data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// About 200 bytes, some of them not ASCII.
std::string line(long long n)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer,
                  "%lld INFO  [pos-%lld] com.cco.sales.ReceiptService - Receipt %lld: 2 × "
                  "Käsebrötchen à 1,80 €, 1 × Kaffee groß 2,90 €, total 6,50 € paid by card, "
                  "terminal 4711 OK\n",
                  nowMicros(), n % 4, n);
    return buffer;
}

void writeFile(const char *name, const std::string &text)
{
    if (FILE *file = std::fopen(name, "w")) {
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
}

// `total` bytes of lines, as fast as they can be written.
bool flood(long long total)
{
    long long written = 0;
    std::string batch;
    for (long long n = 1; written < total; ++n) {
        batch += line(n);
        if (batch.size() >= 64 * 1024) {
            if (!writeAll(batch))
                return false;
            written += batch.size();
            batch.clear();
        }
    }
    return true;
}

// A socket listening on 127.0.0.1:`port`, or -1.
int serve(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(fd, 16) != 0) {
        std::fprintf(stderr, "logwriter: cannot serve on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
        return -1;
    }
    return fd;
}

// Answers every request with a green page, until killed.
[[noreturn]] void answer(int server)
{
    static const char page[] = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n"
                               "<html><body style=\"background:#1b7f3b\">CCO</body></html>";
    for (;;) {
        const int client = ::accept(server, nullptr, nullptr);
        if (client < 0)
            continue;
        char request[4096];
        if (::read(client, request, sizeof request) >= 0 && ::write(client, page, sizeof page - 1) < 0)
            std::fprintf(stderr, "logwriter: %s\n", std::strerror(errno));
        ::close(client);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "ready") {
        // Its pid and the time of its readiness line also in files of its
        // folder: a reader may drop lines of a flood it cannot show.
        writeFile("logwriter.pid", std::to_string(getpid()));
        if (argc > 2 && !flood(std::atoll(argv[2])))
            return 1;
        const int server = serve(9999);
        if (server < 0)
            return 1;
        const long long ready = nowMicros();
        std::printf("%lld Web container started.\n", ready);
        std::fflush(stdout);
        writeFile("logwriter.ready", std::to_string(ready));
        answer(server);
    }
    if (mode == "flood" && argc == 3)
        return flood(std::atoll(argv[2])) ? 0 : 1;
    if (mode == "rate" && argc == 4) {
        const double rate = std::atof(argv[2]);
        const long long end = nowMicros() + std::atoll(argv[3]) * 1000000LL;
        const long long start = nowMicros();
        long long written = 0;
        for (long long n = 1; nowMicros() < end; ++n) {
            // Ten writes a second, each with what is due by then.
            std::string batch;
            const long long due = (long long)(rate * (nowMicros() - start) / 1e6);
            while (written + (long long)batch.size() < due)
                batch += line(n++);
            if (!writeAll(batch))
                return 1;
            written += batch.size();
            usleep(100000);
        }
        return 0;
    }
    std::fprintf(stderr, "usage: logwriter flood BYTES | rate BYTES_PER_SECOND SECONDS | ready\n");
    return 2;
}
