// Preloaded into a process under test (LD_PRELOAD), records every connect() it makes, one line
// each, to the file named by QUILLMER_CONNECT_LOG, then connects as asked. A "loaded" line proves
// the recorder was active even when nothing connected.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void record(const char* line) {
    const char* path = std::getenv("QUILLMER_CONNECT_LOG");
    if (!path) return;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    // One write per line, so lines of concurrent processes never interleave.
    [[maybe_unused]] const auto written = ::write(fd, line, std::strlen(line));
    ::close(fd);
}

__attribute__((constructor)) void announce() { record("loaded\n"); }

}  // namespace

extern "C" int connect(int fd, const struct sockaddr* address, socklen_t length) {
    using Connect = int (*)(int, const struct sockaddr*, socklen_t);
    static const auto real = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    char line[200] = "other\n";
    char text[INET6_ADDRSTRLEN] = "";
    if (address && address->sa_family == AF_UNIX) {
        std::snprintf(line, sizeof line, "unix\n");
    } else if (address && address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
        std::snprintf(line, sizeof line, "inet %s\n", text);
    } else if (address && address->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
        std::snprintf(line, sizeof line, "inet6 %s\n", text);
    } else if (address && address->sa_family == AF_UNSPEC) {
        std::snprintf(line, sizeof line, "unspec\n");  // dissolves a datagram association
    }
    record(line);
    return real(fd, address, length);
}
