#include <QuorvelProcess/linux/FileIdentities.hpp>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace QuorvelProcess;

TEST(FileIdentity, ALinkIsItselfNotItsTarget) {
    const auto target = std::filesystem::temp_directory_path() / "vuzur-fileidentity-target";
    const auto link = std::filesystem::temp_directory_path() / "vuzur-fileidentity-link";
    std::filesystem::remove(link);
    std::ofstream(target) << "x";
    std::filesystem::create_symlink(target, link);
    const auto ofTarget = FileIdentities::of(target);
    const auto ofLink = FileIdentities::of(link);
    std::filesystem::remove(link);
    std::filesystem::remove(target);
    ASSERT_TRUE(ofTarget && ofLink);
    EXPECT_NE(*ofTarget, *ofLink);
    EXPECT_FALSE(FileIdentities::of(link));
}

} // namespace
