// The cost of one process sample per process: over the live /proc, and over a synthetic
// procfs tree of 2,000 processes (the files a sample reads, with realistic contents). One
// process in ten runs 32 threads (a browser's, an editor's), the rest one: 4.1 threads a
// process, about what a desktop shows. And the cost of GPU time: a tree of 400 processes,
// 10 of them GPU clients with 200 descriptors each, sampled with and without reading the
// GPU clients (the latter is the sample as it was before GPU time was measured).
#include <QuorvelProcess/linux/LiveProcessSource.hpp>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace QuorvelProcess;
namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text;
}

// The tree of `count` processes (pids from 1000); every one holds a few descriptors, and
// every `gpuEvery`-th one 200, four of them on the GPU (two clients, each held twice).
void writeTree(const fs::path& path, int count, int threadedEvery, int gpuEvery) {
    fs::remove_all(path);
    fs::create_directories(path);
    write(path / "stat", "cpu  1 2 3 4\nbtime 1700000000\n");
    for (int pid = 1000; pid < 1000 + count; ++pid) {
        const auto dir = path / std::to_string(pid);
        fs::create_directories(dir);
        const auto p = std::to_string(pid);
        write(dir / "stat", p + " (worker-" + p + ") S 1 " + p + " " + p +
                                " 0 -1 4194560 1870 0 12 0 157 43 0 0 20 0 4 0 " + p +
                                " 23068672 1536 18446744073709551615 1 1 0 0 0 0 0 4096 0 0 "
                                "0 0 17 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n");
        const int threads = pid % threadedEvery == 0 ? 32 : 1;
        const auto statusOf = [&](int tid) {
            const auto t = std::to_string(tid);
            std::string s = "Name:\tworker-" + p + "\nUmask:\t0022\nState:\tS (sleeping)\n";
            s += "Tgid:\t" + p + "\nPid:\t" + t + "\nPPid:\t1\nUid:\t1000\t1000\t1000\t1000\n";
            s += "Gid:\t1000\t1000\t1000\t1000\nVmPeak:\t  123456 kB\nVmSize:\t  123456 kB\n";
            s += "VmRSS:\t    6144 kB\nThreads:\t" + std::to_string(threads) + "\n";
            s += "Cpus_allowed_list:\t0-7\n";
            s += "voluntary_ctxt_switches:\t4521\nnonvoluntary_ctxt_switches:\t37\n";
            return s;
        };
        write(dir / "status", statusOf(pid));
        if (threads > 1)
            for (int k = 0; k < threads; ++k) {
                const auto task = dir / "task" / std::to_string(pid * 100 + k);
                fs::create_directories(task);
                write(task / "status", statusOf(pid * 100 + k));
            }
        write(dir / "io", "rchar: 1\nwchar: 2\nsyscr: 3\nsyscw: 4\nread_bytes: 4096\n"
                          "write_bytes: 8192\ncancelled_write_bytes: 0\n");
        fs::create_symlink("/usr/bin/worker", dir / "exe");
        if (gpuEvery == 0) continue;
        const bool gpu = (pid - 1000) % gpuEvery == 0;
        fs::create_directories(dir / "fd");
        fs::create_directories(dir / "fdinfo");
        for (int fd = 0; fd < (gpu ? 200 : 6); ++fd) {
            const bool drm = gpu && fd >= 20 && fd < 24;
            fs::create_symlink(drm      ? "/dev/dri/renderD128"
                               : fd < 3 ? "/dev/pts/0"
                                        : "socket:[" + std::to_string(pid * 1000 + fd) + "]",
                               dir / "fd" / std::to_string(fd));
            if (drm)
                write(dir / "fdinfo" / std::to_string(fd),
                      "pos:\t0\nflags:\t02100002\nmnt_id:\t26\nino:\t1037\n"
                      "drm-driver:\ti915\ndrm-client-id:\t" +
                          std::to_string(pid * 10 + fd / 22) +
                          "\ndrm-pdev:\t0000:00:02.0\ndrm-total-system0:\t3 MiB\n"
                          "drm-engine-render:\t9288864723 ns\ndrm-engine-copy:\t0 ns\n"
                          "drm-engine-video:\t0 ns\ndrm-engine-capacity-video:\t2\n"
                          "drm-engine-video-enhance:\t0 ns\n");
        }
    }
}

// A source that reads what the live one reads but no GPU client.
struct WithoutGpu final : ProcessSource {
    explicit WithoutGpu(const fs::path& root)
        : live(root) {}
    LiveProcessSource live;
    std::vector<std::int32_t> allPIDs() override { return live.allPIDs(); }
    std::optional<BSDInfo> bsdInfo(std::int32_t pid) override { return live.bsdInfo(pid); }
    std::optional<Usage> usage(std::int32_t pid) override { return live.usage(pid); }
    std::optional<std::string> executablePath(std::int32_t pid) override {
        return live.executablePath(pid);
    }
};

const fs::path& syntheticTree() {
    static const fs::path root = [] {
        const auto path = fs::temp_directory_path() / "vuzur-bench-procfs-2000-threads";
        writeTree(path, 2000, 10, 0);
        return path;
    }();
    return root;
}

const fs::path& gpuTree() {
    static const fs::path root = [] {
        const auto path = fs::temp_directory_path() / "vuzur-bench-procfs-400-gpu";
        writeTree(path, 400, 10, 40);
        return path;
    }();
    return root;
}

void sampleTree(benchmark::State& state, const fs::path& root, bool gpu = true) {
    auto sampler = gpu ? liveProcessSampler(root)
                       : ProcessSampler(std::make_shared<WithoutGpu>(root), MachClock::current(),
                                        ProcessSampler::monotonicNanoseconds);
    size_t processes = 0;
    for (auto _ : state)
        processes = sampler.sample().processes.size();
    // Per-process time: iteration time divided by the processes listed.
    state.counters["processes"] = double(processes);
    state.counters["us_per_process"] =
        benchmark::Counter(double(state.iterations()) * double(std::max<size_t>(processes, 1)),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void sampleLiveProc(benchmark::State& state) {
    sampleTree(state, "/proc");
}
BENCHMARK(sampleLiveProc)->Unit(benchmark::kMicrosecond);

void sampleSynthetic2000(benchmark::State& state) {
    sampleTree(state, syntheticTree());
}
BENCHMARK(sampleSynthetic2000)->Unit(benchmark::kMillisecond);

void sampleLiveProcWithoutGpu(benchmark::State& state) {
    sampleTree(state, "/proc", false);
}
BENCHMARK(sampleLiveProcWithoutGpu)->Unit(benchmark::kMicrosecond);

void sample400GpuClientsWithoutGpu(benchmark::State& state) {
    sampleTree(state, gpuTree(), false);
}
BENCHMARK(sample400GpuClientsWithoutGpu)->Unit(benchmark::kMillisecond);

void sample400GpuClients(benchmark::State& state) {
    sampleTree(state, gpuTree());
}
BENCHMARK(sample400GpuClients)->Unit(benchmark::kMillisecond);

// The floor: the same files a sample reads (stat twice, status, io, the exe link, and the
// status of every thread of a threaded process), read into a buffer without any parsing.
void rawReadsSynthetic2000(benchmark::State& state) {
    const auto& root = syntheticTree();
    std::vector<fs::path> folders;
    std::vector<std::vector<fs::path>> tasks;
    for (int pid = 1000; pid < 3000; ++pid) {
        folders.push_back(root / std::to_string(pid));
        tasks.emplace_back();
        if (fs::exists(folders.back() / "task"))
            for (const auto& entry : fs::directory_iterator(folders.back() / "task"))
                tasks.back().push_back(entry.path() / "status");
    }
    char buffer[4096];
    const auto readOnce = [&](const fs::path& file) {
        const int fd = ::open(file.c_str(), O_RDONLY);
        if (fd < 0) return;
        benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
        ::close(fd);
    };
    for (auto _ : state)
        for (size_t i = 0; i < folders.size(); ++i) {
            const auto& folder = folders[i];
            readOnce(folder / "stat");
            readOnce(folder / "status");
            readOnce(folder / "io");
            readOnce(folder / "stat");
            benchmark::DoNotOptimize(::readlink((folder / "exe").c_str(), buffer, sizeof buffer));
            for (const auto& task : tasks[i])
                readOnce(task);
        }
    state.counters["us_per_process"] =
        benchmark::Counter(double(state.iterations()) * double(folders.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(rawReadsSynthetic2000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
