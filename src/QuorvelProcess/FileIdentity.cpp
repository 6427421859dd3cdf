#include <QuorvelProcess/FileIdentity.hpp>
#include <string>

namespace QuorvelProcess {

std::string FileIdentity::text() const {
    return std::to_string(device) + ":" + std::to_string(inode);
}

} // namespace QuorvelProcess
