// Preloaded into a process under test (LD_PRELOAD): appends one line per connect() to the file
// named by QUILLMER_CONNECT_LOG ("unix", "inet ADDRESS", "inet6 ADDRESS" or "other"), then
// connects as asked. A "loaded" line proves it was active even when nothing connected.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

void record(const std::string& line) {
    const char* path = std::getenv("QUILLMER_CONNECT_LOG");
    const int fd = path ? ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    if (fd < 0) return;
    [[maybe_unused]] const auto written = ::write(fd, line.data(), line.size());  // one write: lines never mix
    ::close(fd);
}

__attribute__((constructor)) void announce() { record("loaded\n"); }

}  // namespace

extern "C" int connect(int fd, const sockaddr* address, socklen_t length) {
    static const auto real = reinterpret_cast<int (*)(int, const sockaddr*, socklen_t)>(dlsym(RTLD_NEXT, "connect"));
    const int family = address ? address->sa_family : AF_UNSPEC;
    char text[INET6_ADDRSTRLEN] = "";
    if (family == AF_INET) inet_ntop(family, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    if (family == AF_INET6) inet_ntop(family, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    record(family == AF_UNIX ? "unix\n" : family == AF_INET ? std::string("inet ") + text + "\n"
                                        : family == AF_INET6 ? std::string("inet6 ") + text + "\n" : "other\n");
    return real(fd, address, length);
}
