// Finding a process's GPU clients in a procfs tree without looking through every
// descriptor at every sample.
#include "TestSupport.hpp"

#include <QuorvelProcess/linux/DrmDescriptors.hpp>
#include <gtest/gtest.h>

namespace {

using namespace QuorvelProcess;
namespace fs = std::filesystem;

TEST(DrmDescriptors, AClientHeldTwiceIsOneAndDescriptorsAreLookedAtAgainOnlyWhenTheirCountChanges) {
    VuzurTests::TemporaryFolder proc;
    const auto folder = proc.path() / "42";
    fs::create_directories(folder / "fd");
    const auto open = [&](int fd, const std::string& target, const std::string& fdinfo) {
        fs::create_symlink(target, folder / "fd" / std::to_string(fd));
        proc.write("42/fdinfo/" + std::to_string(fd), "pos:\t0\nflags:\t02\n" + fdinfo);
    };
    const std::string client = "drm-driver:\tamdgpu\ndrm-client-id:\t12\n"
                               "drm-engine-gfx:\t500 ns\n";
    open(0, "/dev/pts/1", "");
    open(5, "/dev/dri/renderD128", client);
    open(6, "/dev/dri/renderD128", client);
    // A driver without client stats: known, but no client.
    open(8, "/dev/dri/card1", "drm-driver:\tvirtio_gpu\n");
    DrmDescriptors drm(proc.path());
    const ProcessIdentity identity{42, 1};
    const auto clients = drm.clients(identity, folder);
    ASSERT_EQ(clients.size(), 1u);
    EXPECT_EQ(clients[0].busyNanoseconds.at("gfx"), 500u);

    // The same descriptors as far as the folder tells (in procfs, its size is the count;
    // here, its time): nothing is looked through again, so a descriptor that now names the
    // GPU goes unseen...
    const auto reopenUnseen = [&](int fd, const std::string& target, int id) {
        const auto unchanged = fs::last_write_time(folder / "fd");
        fs::remove(folder / "fd" / std::to_string(fd));
        open(fd, target, "drm-driver:\tamdgpu\ndrm-client-id:\t" + std::to_string(id));
        fs::last_write_time(folder / "fd", unchanged);
    };
    drm.beginSample();
    reopenUnseen(0, "/dev/dri/card0", 13);
    EXPECT_EQ(drm.clients(identity, folder).size(), 1u);
    // ...until the count changes.
    drm.beginSample();
    open(7, "/dev/null", "");
    EXPECT_EQ(drm.clients(identity, folder).size(), 2u);
    // A process not asked for in a sample is forgotten, and so is what it held: it is looked
    // through afresh even though its folder tells of no change.
    // A descriptor closed (its fdinfo gone) has the process looked through at the next
    // sample, whatever the folder tells.
    drm.beginSample();
    fs::remove(folder / "fdinfo" / "0");
    EXPECT_EQ(drm.clients(identity, folder).size(), 1u);
    drm.beginSample();
    reopenUnseen(0, "/dev/dri/card0", 15);
    EXPECT_EQ(drm.clients(identity, folder).size(), 2u);
    drm.beginSample();
    drm.beginSample();
    reopenUnseen(7, "/dev/dri/renderD129", 14);
    EXPECT_EQ(drm.clients(identity, folder).size(), 3u);
}

} // namespace
