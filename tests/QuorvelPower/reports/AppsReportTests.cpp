// The application-power report of the binary, while a child of this test burns a core.
#include "TestSupport.hpp"

#include <atomic>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

namespace {

using nlohmann::json;

TEST(AppsReport, BusyChildIsMeasuredAtAboutOneCore) {
    // A copy of sh under its own name, so its application is easy to find.
    VuzurTests::TemporaryFolder folder;
    const auto burner = folder.path() / "vuzur-burner";
    std::filesystem::copy_file("/bin/sh", burner);
    std::filesystem::permissions(burner, std::filesystem::perms::owner_all);
    const pid_t child =
        VuzurTests::spawnAndWaitForExec({burner.string(), "-c", "while :; do :; done"});
    ASSERT_GT(child, 0);
    const auto start = std::chrono::steady_clock::now();
    const auto cpuBefore = VuzurTests::kernelCpuSeconds(child);
    // An empty history: this machine's own would add its model's watts.
    const auto result =
        VuzurTests::runProgram(VUZUR_BINARY, {"--apps-json", "--apps-json-interval", "0.2"},
                               {"XDG_DATA_HOME=" + folder.path().string()});
    const auto cpuAfter = VuzurTests::kernelCpuSeconds(child);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    VuzurTests::killAndReap(child);
    ASSERT_TRUE(cpuBefore && cpuAfter);
    // What the kernel counted while the report ran: the share of a core the child had.
    const double kernel = (*cpuAfter - *cpuBefore) / took * 100;
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    // 0.2 s is below the floor: the report samples for a whole second.
    EXPECT_GE(took, 1.0);
    const auto report = json::parse(result.out);
    std::set<std::string> keys;
    for (const auto& item : report.items())
        keys.insert(item.key());
    EXPECT_EQ(keys, (std::set<std::string>{"apps", "notMeasured", "usesEnergy"}));
    EXPECT_EQ(report["usesEnergy"], false);
    const json* found = nullptr;
    for (const auto& app : report["apps"]) {
        std::set<std::string> appKeys;
        for (const auto& item : app.items())
            appKeys.insert(item.key());
        appKeys.erase("gpuPercent"); // where this machine has GPU clients
        EXPECT_EQ(appKeys,
                  (std::set<std::string>{"cpuPercent", "cpuSeconds", "idleWakeupsPerSecond",
                                         "measured", "name", "pids", "share"}));
        if (app["name"] == "vuzur-burner") found = &app;
    }
    ASSERT_TRUE(found) << result.out;
    EXPECT_EQ((*found)["measured"], true);
    // Its second inside the report's run: as the kernel saw it, give or take a machine whose
    // load changed meanwhile.
    EXPECT_NEAR((*found)["cpuPercent"].get<double>(), kernel, 20.0);
    EXPECT_GT(kernel, 5.0);
    EXPECT_EQ((*found)["pids"], json::array({child}));
}

TEST(AppsReport, AGpuClientHeldTwiceCountsOnceAtItsShareOfTheEngine) {
    // A recorded procfs whose firefox holds two descriptors of one GPU client; its render
    // engine runs three quarters of the time, whenever the report samples.
    VuzurTests::TemporaryFolder folder;
    const auto proc = folder.path() / "proc";
    std::filesystem::copy(VUZUR_TEST_DATA "/proc/recorded", proc,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks);
    const auto firefox = proc / "600";
    std::filesystem::create_directories(firefox / "fd");
    for (const char* fd : {"0", "31", "32"})
        std::filesystem::create_symlink(fd[0] == '0' ? "/dev/null" : "/dev/dri/renderD128",
                                        firefox / "fd" / fd);
    const auto start = std::chrono::steady_clock::now();
    const auto writeBusy = [&] {
        const auto busy = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count() *
                          3 / 4;
        for (const char* fd : {"31", "32"}) {
            const auto file = firefox / "fdinfo" / fd;
            std::filesystem::create_directories(file.parent_path());
            std::ofstream(file.string() + ".new")
                << "pos:\t0\nflags:\t02100002\ndrm-driver:\tamdgpu\ndrm-client-id:\t9\n"
                << "drm-engine-gfx:\t" << busy << " ns\n";
            std::filesystem::rename(file.string() + ".new", file);
        }
    };
    writeBusy();
    std::atomic<bool> done = false;
    std::thread engine([&] {
        while (!done) {
            writeBusy();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto result = VuzurTests::runProgram(
        VUZUR_BINARY, {"--apps-json", "--apps-json-interval", "2"},
        {"VUZUR_PROCFS_ROOT=" + proc.string(), "XDG_DATA_HOME=" + folder.path().string()});
    done = true;
    engine.join();
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const auto report = json::parse(result.out);
    int withGpu = 0;
    for (const auto& app : report["apps"]) {
        if (!app.contains("gpuPercent")) continue;
        ++withGpu;
        EXPECT_EQ(app["name"], "firefox") << app;
        EXPECT_NEAR(app["gpuPercent"].get<double>(), 75.0, 5.0) << "counted twice at 150";
    }
    EXPECT_EQ(withGpu, 1) << result.out;
}

#ifdef VUZUR_WRITE_HISTORY
TEST(AppsReport, WattsComeFromTheModelTheHistoryTeaches) {
    // Twenty days whose drain on battery follows a known model.
    VuzurTests::TemporaryFolder data;
    const auto written = VuzurTests::runProgram(
        VUZUR_WRITE_HISTORY,
        {(data.path() / "Quorvel Vuzur" / "History").string(), "20",
         VUZUR_TEST_DATA "/sysfs/dell_xps15_9560_discharging", "--model", "6,9,0.002,14"});
    ASSERT_EQ(written.exitStatus, 0) << written.err;
    const auto result =
        VuzurTests::runProgram(VUZUR_BINARY, {"--apps-json", "--apps-json-interval", "1"},
                               {"XDG_DATA_HOME=" + data.path().string()});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const auto report = json::parse(result.out);
    ASSERT_TRUE(report.contains("powerModel")) << result.out;
    const auto& model = report["powerModel"];
    const auto& k = model["coefficients"];
    EXPECT_NEAR(k["base"].get<double>(), 6, 0.6);
    EXPECT_NEAR(k["cpuSecondsPerSecond"].get<double>(), 9, 0.9);
    EXPECT_NEAR(k["wakeupsPerSecond"].get<double>(), 0.002, 0.0002);
    EXPECT_NEAR(k["gpuSecondsPerSecond"].get<double>(), 14, 1.4);
    EXPECT_GT(model["hours"].get<double>(), 10);
    // Each application's watts are its own use at the model's prices.
    for (const auto& app : report["apps"]) {
        const double expected =
            k["cpuSecondsPerSecond"].get<double>() * app["cpuPercent"].get<double>() / 100 +
            k["wakeupsPerSecond"].get<double>() * app["idleWakeupsPerSecond"].get<double>() +
            k["gpuSecondsPerSecond"].get<double>() * app.value("gpuPercent", 0.0) / 100;
        EXPECT_NEAR(app["estimatedWatts"].get<double>(), expected, 1e-9) << app;
    }
}
#endif

} // namespace
