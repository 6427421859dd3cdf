#include <QuorvelProcess/linux/KernelFiles.hpp>
#include <QuorvelProcess/linux/ListeningSockets.hpp>
#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <unistd.h>
#include <unordered_map>

namespace QuorvelProcess {

namespace {

using Class = ListeningSocket::AddressClass;

bool parseHex32(std::string_view text, std::uint32_t& out) {
    return text.size() == 8 &&
           std::from_chars(text.data(), text.data() + 8, out, 16).ptr == text.data() + 8;
}

// The kernel prints each 32-bit word of the address as a host-order number.
bool addressBytes(std::string_view hex, std::uint8_t* bytes, size_t words) {
    if (hex.size() != words * 8) return false;
    for (size_t w = 0; w < words; ++w) {
        std::uint32_t word = 0;
        if (!parseHex32(hex.substr(w * 8, 8), word)) return false;
        std::memcpy(bytes + w * 4, &word, 4);
    }
    return true;
}

Class classifyIPv4(const std::uint8_t* a) {
    if (a[0] == 0 && a[1] == 0 && a[2] == 0 && a[3] == 0) return Class::any;
    return a[0] == 127 ? Class::loopback : Class::specific;
}

Class classifyIPv6(const std::uint8_t* a) {
    const auto zeroUpTo = [&](int end) {
        for (int i = 0; i < end; ++i)
            if (a[i] != 0) return false;
        return true;
    };
    if (zeroUpTo(16)) return Class::any;
    if (zeroUpTo(15) && a[15] == 1) return Class::loopback;
    if (zeroUpTo(10) && a[10] == 0xFF && a[11] == 0xFF) { // IPv4-mapped
        if (a[12] == 127) return Class::loopback;
        if (a[12] == 0 && a[13] == 0 && a[14] == 0 && a[15] == 0) return Class::any;
    }
    return Class::specific;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

std::unordered_map<std::uint64_t, ListeningSockets::TableEntry>
listeningTable(const ProcessReader& reader) {
    std::unordered_map<std::uint64_t, ListeningSockets::TableEntry> table;
    for (const bool ipv6 : {false, true}) {
        const auto text = KernelFiles::readFile(reader.root() / "net" / (ipv6 ? "tcp6" : "tcp"),
                                                size_t(64) << 20);
        if (!text) continue;
        for (auto& entry : ListeningSockets::parseTable(*text, ipv6))
            table.emplace(entry.inode, std::move(entry));
    }
    return table;
}

void collect(const ProcessReader& reader, std::int32_t pid,
             const std::unordered_map<std::uint64_t, ListeningSockets::TableEntry>& table,
             std::vector<ListeningSocket>& out) {
    if (table.empty()) return;
    const auto descriptors = reader.fileDescriptors(pid);
    if (!descriptors) return;
    char target[64];
    for (const auto& d : *descriptors) {
        if (d.type != ProcessReader::socket) continue;
        const auto link = reader.pidFolder(pid) / "fd" / std::to_string(d.fd);
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 9) continue;
        // "socket:[12345]"
        const std::string_view text(target, size_t(n));
        std::uint64_t inode = 0;
        if (!text.starts_with("socket:[") ||
            std::from_chars(text.data() + 8, text.data() + text.size() - 1, inode).ec !=
                std::errc{})
            continue;
        const auto it = table.find(inode);
        if (it == table.end()) continue;
        const auto& e = it->second;
        out.push_back({pid, d.fd, e.inode, e.port, e.family, e.addressClass, e.address});
    }
}

} // namespace

std::string_view rawValue(ListeningSocket::AddressClass addressClass) {
    switch (addressClass) {
    case Class::any:
        return "any";
    case Class::loopback:
        return "loopback";
    case Class::specific:
        return "specific";
    }
    return "specific";
}

namespace ListeningSockets {

std::vector<TableEntry> parseTable(std::string_view text, bool ipv6) {
    std::vector<TableEntry> entries;
    size_t at = text.find('\n'); // the header line
    while (at != std::string_view::npos && at < text.size()) {
        const size_t end = std::min(text.find('\n', at + 1), text.size());
        const auto line = text.substr(at + 1, end - at - 1);
        at = end;
        // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
        const auto f = fields(line);
        if (f.size() < 10 || f[3] != "0A") continue;
        const auto colon = f[1].find(':');
        if (colon == std::string_view::npos) continue;
        std::uint32_t port = 0;
        std::uint64_t inode = 0;
        const auto portText = f[1].substr(colon + 1);
        if (std::from_chars(portText.data(), portText.data() + portText.size(), port, 16).ec !=
                std::errc{} ||
            port > 0xFFFF ||
            std::from_chars(f[9].data(), f[9].data() + f[9].size(), inode).ec != std::errc{})
            continue;
        std::uint8_t bytes[16] = {};
        if (!addressBytes(f[1].substr(0, colon), bytes, ipv6 ? 4 : 1)) continue;
        char buffer[INET6_ADDRSTRLEN] = {};
        TableEntry entry;
        entry.inode = inode;
        entry.port = std::uint16_t(port);
        entry.family = ipv6 ? 30 : 2;
        ::inet_ntop(ipv6 ? AF_INET6 : AF_INET, bytes, buffer, sizeof buffer);
        entry.address = buffer;
        entry.addressClass = ipv6 ? classifyIPv6(bytes) : classifyIPv4(bytes);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<ListeningSocket> read(const ProcessReader& reader) {
    const auto table = listeningTable(reader);
    std::vector<ListeningSocket> sockets;
    for (const auto pid : reader.allPIDs())
        collect(reader, pid, table, sockets);
    return sockets;
}

std::vector<ListeningSocket> read(const ProcessReader& reader, std::int32_t pid) {
    std::vector<ListeningSocket> sockets;
    collect(reader, pid, listeningTable(reader), sockets);
    return sockets;
}

} // namespace ListeningSockets

} // namespace QuorvelProcess
