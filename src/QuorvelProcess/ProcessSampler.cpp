#include <QuorvelProcess/ProcessSampler.hpp>
#include <algorithm>
#include <chrono>

namespace QuorvelProcess {

namespace {

// A class's engines, one unless the driver says more.
double enginesOf(const DrmClient& client, const std::string& engine) {
    const auto found = client.capacity.find(engine);
    return found != client.capacity.end() ? double(found->second) : 1.0;
}

// The busy time of a client between two readings `elapsed` ns apart, summed over its
// engine classes, each at most its engines' whole time; none when a counter went back (a
// reset). A class that just appeared has no base yet and counts nothing.
std::optional<double> busyNanoseconds(const DrmClient& now, const DrmClient& before,
                                      double elapsed) {
    double total = 0;
    for (const auto& [engine, busy] : now.busyNanoseconds) {
        const auto was = before.busyNanoseconds.find(engine);
        if (was == before.busyNanoseconds.end()) continue;
        if (busy < was->second) return std::nullopt;
        total += std::min(double(busy - was->second), enginesOf(now, engine) * elapsed);
    }
    // Counted in cycles: the class's busy cycles over the GPU's cycles in the same span.
    for (const auto& [engine, cycles] : now.cycles) {
        if (now.busyNanoseconds.contains(engine)) continue;
        const auto was = before.cycles.find(engine);
        const auto span = now.totalCycles.find(engine);
        const auto spanWas = before.totalCycles.find(engine);
        if (was == before.cycles.end() || span == now.totalCycles.end() ||
            spanWas == before.totalCycles.end())
            continue;
        if (cycles < was->second || span->second < spanWas->second) return std::nullopt;
        if (span->second == spanWas->second) continue;
        const double share = double(cycles - was->second) / double(span->second - spanWas->second);
        total += std::min(share, enginesOf(now, engine)) * elapsed;
    }
    return total;
}

} // namespace

ProcessSampler::ProcessSampler(std::shared_ptr<ProcessSource> source, MachClock clock,
                               std::function<std::uint64_t()> now)
    : source_(std::move(source))
    , clock_(clock)
    , now_(std::move(now)) {}

std::uint64_t ProcessSampler::monotonicNanoseconds() {
    return std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
}

void ProcessSampler::addGpuClients(std::vector<ProcessUsage>& processes, GpuClients& clients) {
    const size_t index = processes.size() - 1;
    for (auto& client : source_->drmClients(processes.back().identity)) {
        auto key = client.key();
        const auto held = clients.find(key);
        if (held == clients.end())
            clients.emplace(std::move(key), GpuClient{std::move(client), index});
        else if (!processes[held->second.holder].deltas && processes.back().deltas)
            held->second.holder = index; // a process new since the last sample has no rates
    }
}

void ProcessSampler::measureGpu(std::vector<ProcessUsage>& processes, const GpuClients& clients,
                                double elapsed) const {
    for (const auto& [key, client] : clients) {
        auto& process = processes[client.holder];
        const auto before = previousGpu_.find(key);
        if (!process.deltas || before == previousGpu_.end()) continue;
        const auto busy = busyNanoseconds(client.counters, before->second.counters, elapsed);
        if (!busy) continue;
        auto& total = process.deltas->gpuNanoseconds;
        total = total.value_or(0) + std::uint64_t(*busy);
        process.gpuPercent = double(*total) / elapsed * 100.0;
    }
}

ProcessSampler::Sample ProcessSampler::sample() {
    const std::uint64_t t = now_();
    const double elapsed = previousTime_ && t > *previousTime_ ? double(t - *previousTime_) : 0.0;
    std::unordered_map<ProcessIdentity, Counters> current;
    Sample result;
    const auto pids = source_->allPIDs();
    current.reserve(pids.size());
    GpuClients gpuClients;
    for (const auto pid : pids) {
        const auto info = source_->bsdInfo(pid);
        const auto usage = info ? source_->usage(pid) : std::nullopt;
        const auto again = usage ? source_->bsdInfo(pid) : std::nullopt;
        // A pid reused while it was being read reads two start times.
        if (!again || again->startTime != info->startTime) {
            ++result.hidden;
            continue;
        }
        const ProcessIdentity identity{pid, info->startTime};
        const Counters counters{usage->cpuTicks,    usage->diskRead,         usage->diskWritten,
                                usage->idleWakeups, usage->interruptWakeups, usage->energy};
        current.insert_or_assign(identity, counters);

        ProcessUsage process;
        process.identity = identity;
        process.ppid = info->ppid;
        process.kernelThread = info->kernelThread;
        process.uid = info->uid;
        process.name = info->name;
        process.footprint = usage->footprint;
        process.isZombie = info->isZombie();
        const auto before = previous_.find(identity);
        // A counter that went backwards (a reset or a wrap) gives no rates this time rather
        // than a wrong one; the new counters are still the base for the next sample.
        if (previousTime_ && elapsed > 0 && before != previous_.end()) {
            const Counters& b = before->second;
            const bool forward =
                counters.cpuTicks >= b.cpuTicks && counters.diskRead >= b.diskRead &&
                counters.diskWritten >= b.diskWritten && counters.idleWakeups >= b.idleWakeups &&
                counters.interruptWakeups >= b.interruptWakeups &&
                (!counters.energy || !b.energy || *counters.energy >= *b.energy);
            if (forward) {
                UsageDeltas d;
                d.interval = t - *previousTime_;
                d.cpuNanoseconds = clock_.nanoseconds(counters.cpuTicks - b.cpuTicks);
                d.idleWakeups = counters.idleWakeups - b.idleWakeups;
                d.interruptWakeups = counters.interruptWakeups - b.interruptWakeups;
                if (counters.energy && b.energy) d.energy = *counters.energy - *b.energy;
                d.diskRead = counters.diskRead - b.diskRead;
                d.diskWritten = counters.diskWritten - b.diskWritten;
                const double perSecond = 1e9 / elapsed;
                process.cpuPercent = double(d.cpuNanoseconds) / elapsed * 100.0;
                process.diskReadPerSecond = double(d.diskRead) * perSecond;
                process.diskWritePerSecond = double(d.diskWritten) * perSecond;
                process.idleWakeupsPerSecond = double(d.idleWakeups) * perSecond;
                process.interruptWakeupsPerSecond = double(d.interruptWakeups) * perSecond;
                process.deltas = d;
            }
        }
        process.path = source_->executablePath(pid);
        result.processes.push_back(std::move(process));
        // The kernel's threads and zombies hold no descriptors.
        if (!info->kernelThread && !info->isZombie()) addGpuClients(result.processes, gpuClients);
    }
    if (previousTime_ && elapsed > 0) measureGpu(result.processes, gpuClients, elapsed);
    previousGpu_ = std::move(gpuClients);
    previous_ = std::move(current);
    previousTime_ = t;
    return result;
}

} // namespace QuorvelProcess
