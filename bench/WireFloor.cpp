// What a mailbox costs on the wire and nothing else: one connection, the whole
// command stream written at once, every answer read to the end of the
// connection. The benchmark compares the program with this floor.
//
//   bench_wire_floor HOST PORT USER PASSWORD list N        USER PASS LIST UIDL, TOP 1..N 0, QUIT
//   bench_wire_floor HOST PORT USER PASSWORD delete N STEP  USER PASS, DELE 1, 1+STEP, ... <= N, QUIT
// Prints "seconds=S bytes=B"; exits 1 when the server refused anything.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 7) {
        std::fprintf(stderr, "usage: bench_wire_floor HOST PORT USER PASSWORD list N | delete N STEP\n");
        return 2;
    }
    const std::string mode = argv[5];
    const long count = std::atol(argv[6]);
    const long step = mode == "delete" && argc > 7 ? std::max(1L, std::atol(argv[7])) : 1;

    std::string commands = std::string("USER ") + argv[3] + "\r\nPASS " + argv[4] + "\r\n";
    if (mode == "list") {
        commands += "LIST\r\nUIDL\r\n";
        for (long i = 1; i <= count; ++i)
            commands += "TOP " + std::to_string(i) + " 0\r\n";
    } else {
        for (long i = 1; i <= count; i += step)
            commands += "DELE " + std::to_string(i) + "\r\n";
    }
    commands += "QUIT\r\n";

    const auto start = std::chrono::steady_clock::now();
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
    if (fd < 0 || inet_pton(AF_INET, argv[1], &address.sin_addr) != 1 ||
        connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        std::perror("connect");
        return 1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

    // Writing and reading together: a server answers while commands still
    // arrive, and both sides' buffers would fill up otherwise.
    size_t written = 0;
    long long received = 0;
    bool refused = false;
    std::string tail;  // the start of the current line, to spot "-ERR" answers
    char buffer[1 << 16];
    for (;;) {
        pollfd p{fd, short(POLLIN | (written < commands.size() ? POLLOUT : 0)), 0};
        if (poll(&p, 1, 60000) <= 0)
            break;
        if ((p.revents & POLLOUT) && written < commands.size()) {
            const ssize_t n = write(fd, commands.data() + written, commands.size() - written);
            if (n > 0)
                written += size_t(n);
        }
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            received += n;
            for (ssize_t k = 0; k < n; ++k) {
                if (buffer[k] == '\n') {
                    refused = refused || tail.rfind("-ERR", 0) == 0;
                    tail.clear();
                } else if (tail.size() < 8) {
                    tail += buffer[k];
                }
            }
        }
    }
    close(fd);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seconds=%.4f bytes=%lld\n", seconds, received);
    return refused || written < commands.size() ? 1 : 0;
}
