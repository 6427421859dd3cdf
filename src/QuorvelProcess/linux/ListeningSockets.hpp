#pragma once

#include <QuorvelProcess/linux/ProcessReader.hpp>
#include <cstdint>
#include <string>
#include <vector>

namespace QuorvelProcess {

struct ListeningSocket {
    enum class AddressClass { any, loopback, specific };

    std::int32_t pid = 0;
    std::int32_t fd = 0;
    std::uint64_t socketID = 0; // the socket's inode: one socket held by two processes has one
    std::uint16_t port = 0;
    std::int32_t family = 0; // 2 IPv4, 30 IPv6
    AddressClass addressClass = AddressClass::specific;
    std::string address;

    bool operator==(const ListeningSocket&) const = default;
};

std::string_view rawValue(ListeningSocket::AddressClass addressClass);

// TCP sockets in the listening state, from <procfs>/net/tcp and tcp6, matched to the
// processes that hold them through the socket:[inode] links of their descriptors.
namespace ListeningSockets {
std::vector<ListeningSocket> read(const ProcessReader& reader);
std::vector<ListeningSocket> read(const ProcessReader& reader, std::int32_t pid);

// One listening entry of a tcp or tcp6 table.
struct TableEntry {
    std::uint64_t inode = 0;
    std::uint16_t port = 0;
    std::int32_t family = 0;
    ListeningSocket::AddressClass addressClass = ListeningSocket::AddressClass::specific;
    std::string address;
};
// The listening (state 0A) entries of a table's text; `ipv6` for tcp6.
std::vector<TableEntry> parseTable(std::string_view text, bool ipv6);
} // namespace ListeningSockets

} // namespace QuorvelProcess
