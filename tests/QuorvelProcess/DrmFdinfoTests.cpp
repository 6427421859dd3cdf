// DRM clients as the kernel describes them in fdinfo (its "DRM client usage stats").
#include <QuorvelProcess/DrmFdinfo.hpp>
#include <gtest/gtest.h>

namespace {

using QuorvelProcess::DrmClient;
using QuorvelProcess::parseDrmFdinfo;

TEST(DrmFdinfo, EnginesAndTheirCapacityOfAClientAndNothingForOtherDescriptors) {
    // i915's layout: the common fdinfo lines first, then the client's.
    const auto client = parseDrmFdinfo("pos:\t0\nflags:\t02100002\nmnt_id:\t26\nino:\t1037\n"
                                       "drm-driver:\ti915\ndrm-client-id:\t7\n"
                                       "drm-pdev:\t0000:00:02.0\n"
                                       "drm-engine-render:\t9288864723 ns\n"
                                       "drm-engine-video:\t0 ns\n"
                                       "drm-engine-capacity-video:\t2\n"
                                       "drm-total-system0:\t3 MiB\n"
                                       "drm-cycles-render:\t12\n");
    ASSERT_TRUE(client);
    EXPECT_EQ(*client, (DrmClient{"i915",
                                  "0000:00:02.0",
                                  7,
                                  {{"render", 9288864723}, {"video", 0}},
                                  {{"video", 2}},
                                  {{"render", 12}},
                                  {}}))
        << "memory lines are no busy time";
    // xe counts cycles: the class's and the GPU's over the same span.
    const auto xe = parseDrmFdinfo("drm-driver:\txe\ndrm-client-id:\t41\n"
                                   "drm-cycles-rcs:\t28257900\ndrm-total-cycles-rcs:\t7655183225\n"
                                   "drm-engine-capacity-vcs:\t2\n");
    ASSERT_TRUE(xe);
    EXPECT_EQ(xe->cycles.at("rcs"), 28257900u);
    EXPECT_EQ(xe->totalCycles.at("rcs"), 7655183225u);
    EXPECT_NE(xe->key(), (DrmClient{"xe", "0000:00:02.0", 41, {}, {}, {}, {}}.key()))
        << "ids unique per device are told apart by the device";
    EXPECT_FALSE(parseDrmFdinfo("pos:\t0\nflags:\t02\nmnt_id:\t26\n")) << "a plain file";
    EXPECT_FALSE(parseDrmFdinfo("drm-driver:\tamdgpu\n")) << "no client id";
    EXPECT_FALSE(parseDrmFdinfo("drm-client-id:\t3\n")) << "no driver";
    // A value in another unit, or broken, is left out rather than misread.
    const auto odd = parseDrmFdinfo("drm-driver:\tmsm\ndrm-client-id:\t1\n"
                                    "drm-engine-gpu:\t12 us\ndrm-engine-gpu2:\tlots ns");
    ASSERT_TRUE(odd);
    EXPECT_TRUE(odd->busyNanoseconds.empty());
}

} // namespace
