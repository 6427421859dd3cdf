#include "TestSupport.hpp"

#include <QuorvelProcess/linux/ListeningSockets.hpp>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace QuorvelProcess;
using Class = ListeningSocket::AddressClass;

TEST(ListeningSocketsRecorded, OnlyListeningTcpSocketsOfTheProcess) {
    const ProcessReader reader(VuzurTests::testData("proc/recorded"));
    const auto sockets = ListeningSockets::read(reader);
    // 127.0.0.1:8080 (fd 3) and [::]:22 (fd 5) of pid 800; fd 4 is connected, and the
    // mapped listener 49999 belongs to no process here.
    ASSERT_EQ(sockets.size(), 2u);
    EXPECT_EQ(sockets[0], (ListeningSocket{800, 3, 41001, 8080, 2, Class::loopback, "127.0.0.1"}));
    EXPECT_EQ(sockets[1], (ListeningSocket{800, 5, 41003, 22, 30, Class::any, "::"}));
}

TEST(ListeningSocketsTable, MappedAddressesAndPorts) {
    const auto entries = ListeningSockets::parseTable(
        "header\n"
        "   0: 0000000000000000FFFF00000100007F:0050 00000000000000000000000000000000:0000 0A "
        "00000000:00000000 00:00000000 00000000 0 0 7 1\n"
        "   1: 0000000000000000FFFF000000000000:1F90 00000000000000000000000000000000:0000 0A "
        "00000000:00000000 00:00000000 00000000 0 0 8 1\n"
        "   2: 00000000000000000000000001000000:01BB 00000000000000000000000000000000:0000 0A "
        "00000000:00000000 00:00000000 00000000 0 0 9 1\n"
        "   3: 0000000000000000FFFF00000100007F:0051 00000000000000000000000000000000:0000 06 "
        "00000000:00000000 00:00000000 00000000 0 0 10 1\n"
        "   4: garbage\n",
        true);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].address, "::ffff:127.0.0.1");
    EXPECT_EQ(entries[0].addressClass, Class::loopback);
    EXPECT_EQ(entries[0].port, 80);
    EXPECT_EQ(entries[1].addressClass, Class::any);
    EXPECT_EQ(entries[1].port, 8080);
    EXPECT_EQ(entries[2].address, "::1");
    EXPECT_EQ(entries[2].addressClass, Class::loopback);
}

int listenOn(int family, const char* address, bool listening = true, int type = SOCK_STREAM) {
    const int fd = ::socket(family, type, 0);
    if (fd < 0) return -1;
    if (family == AF_INET) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, address, &a.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return ::close(fd), -1;
    } else {
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, address, &a.sin6_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return ::close(fd), -1;
    }
    if (listening && type == SOCK_STREAM && ::listen(fd, 4) != 0) return ::close(fd), -1;
    return fd;
}

std::uint16_t portOf(int fd) {
    sockaddr_storage a{};
    socklen_t size = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    return a.ss_family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port)
                                  : ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
}

TEST(ListeningSocketsLive, FindsWhatThisTestOpens) {
    struct Want {
        int fd;
        Class addressClass;
        std::int32_t family;
    };
    std::vector<Want> wanted;
    const auto open = [&](int family, const char* address, Class c, std::int32_t f) {
        const int fd = listenOn(family, address);
        if (fd >= 0) wanted.push_back({fd, c, f});
        return fd;
    };
    ASSERT_GE(open(AF_INET, "127.0.0.1", Class::loopback, 2), 0);
    ASSERT_GE(open(AF_INET, "0.0.0.0", Class::any, 2), 0);
    const bool ipv6 = open(AF_INET6, "::1", Class::loopback, 30) >= 0;
    if (ipv6) {
        open(AF_INET6, "::", Class::any, 30);
        open(AF_INET6, "::ffff:127.0.0.1", Class::loopback, 30);
    }
    // Neither a connected socket nor UDP is listed.
    const int udp = listenOn(AF_INET, "127.0.0.1", false, SOCK_DGRAM);
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(portOf(wanted[0].fd));
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);

    const auto sockets = ListeningSockets::read(ProcessReader("/proc"), ::getpid());
    for (const auto& w : wanted) {
        const auto it = std::find_if(sockets.begin(), sockets.end(),
                                     [&](const ListeningSocket& s) { return s.fd == w.fd; });
        ASSERT_NE(it, sockets.end()) << "fd " << w.fd;
        EXPECT_EQ(it->pid, ::getpid());
        EXPECT_EQ(it->port, portOf(w.fd));
        EXPECT_EQ(it->addressClass, w.addressClass) << it->address;
        EXPECT_EQ(it->family, w.family);
    }
    for (const auto& s : sockets) {
        EXPECT_NE(s.fd, udp);
        EXPECT_NE(s.fd, client);
    }
    EXPECT_EQ(sockets.size(), wanted.size());
    for (const auto& w : wanted)
        ::close(w.fd);
    ::close(udp);
    ::close(client);
    if (!ipv6) GTEST_SKIP() << "no IPv6 on this machine: the IPv6 listeners were not checked";
}

} // namespace
