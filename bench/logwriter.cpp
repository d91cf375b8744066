// Writes realistic CCO log lines to standard output, each starting with the
// CLOCK_MONOTONIC time in microseconds at which it was written, so that a
// reader on the same machine can tell how far behind it is.
//
//   logwriter flood BYTES          as fast as it can
//   logwriter rate BYTES_PER_SECOND SECONDS
//   logwriter ready [BYTES]        BYTES as fast as it can first, if given; then
//                                  one readiness line, then wait to be killed

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
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

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "ready") {
        std::printf("pid %d\n", int(getpid()));
        std::fflush(stdout);
        if (argc > 2 && !flood(std::atoll(argv[2])))
            return 1;
        std::printf("%lld Web container started.\n", nowMicros());
        std::fflush(stdout);
        for (;;)
            pause();
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
