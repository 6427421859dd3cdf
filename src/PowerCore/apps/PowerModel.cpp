#include <PowerCore/apps/PowerModel.hpp>
#include <algorithm>
#include <cmath>

namespace PowerCore {

namespace {

constexpr int columns = 4; // 1, cpu, wakeups, gpu

// Where (row, column) of the symmetric 4×4 Xᵀ·X sits in its upper triangle.
constexpr int triangleIndex(int row, int column) {
    if (row > column) std::swap(row, column);
    return row * columns - row * (row - 1) / 2 + (column - row);
}

// A column that is all but a combination of the ones before it leaves less than this share
// of itself: the subset holding it has no single solution.
constexpr double collinear = 1e-9;

struct Solution {
    std::array<double, columns> coefficients{};
    double residual = 0; // sum of squares
};

// Least squares over the chosen columns alone (the others held at 0), by Cholesky on the
// normal equations scaled to a unit diagonal; none when they are singular.
std::optional<Solution> solveSubset(const PowerModelSums& sums, unsigned chosen) {
    std::array<int, columns> index{};
    int k = 0;
    for (int c = 0; c < columns; ++c)
        if (chosen & (1u << c)) index[k++] = c;
    std::array<std::array<double, columns>, columns> a{}, l{};
    std::array<double, columns> b{}, scale{}, z{}, x{};
    for (int i = 0; i < k; ++i) {
        const double diagonal = sums.xx(index[i], index[i]);
        if (!(diagonal > 0)) return std::nullopt;
        scale[i] = std::sqrt(diagonal);
    }
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j)
            a[i][j] = sums.xx(index[i], index[j]) / (scale[i] * scale[j]);
        b[i] = sums.xy()[index[i]] / scale[i];
    }
    for (int j = 0; j < k; ++j) {
        double d = a[j][j];
        for (int m = 0; m < j; ++m)
            d -= l[j][m] * l[j][m];
        if (!(d > collinear)) return std::nullopt;
        l[j][j] = std::sqrt(d);
        for (int i = j + 1; i < k; ++i) {
            double s = a[i][j];
            for (int m = 0; m < j; ++m)
                s -= l[i][m] * l[j][m];
            l[i][j] = s / l[j][j];
        }
    }
    for (int i = 0; i < k; ++i) {
        double s = b[i];
        for (int m = 0; m < i; ++m)
            s -= l[i][m] * z[m];
        z[i] = s / l[i][i];
    }
    for (int i = k - 1; i >= 0; --i) {
        double s = z[i];
        for (int m = i + 1; m < k; ++m)
            s -= l[m][i] * x[m];
        x[i] = s / l[i][i];
    }
    Solution solution;
    solution.residual = sums.yy();
    for (int i = 0; i < k; ++i) {
        const auto column = index[i];
        solution.coefficients[column] = x[i] / scale[i];
        // At the least-squares point the residual is yᵀy − βᵀ·Xᵀy.
        solution.residual -= solution.coefficients[column] * sums.xy()[column];
    }
    return solution;
}

// Non-negative least squares, exactly: the best fit has its positive coefficients as the
// unconstrained fit of their columns, so the best of the subsets whose fit has no negative
// coefficient is it.
Solution nonNegativeFit(const PowerModelSums& sums) {
    Solution best;
    best.residual = sums.yy(); // every coefficient 0
    for (unsigned chosen = 1; chosen < (1u << columns); ++chosen) {
        const auto solution = solveSubset(sums, chosen);
        if (!solution || solution->residual >= best.residual) continue;
        if (std::all_of(solution->coefficients.begin(), solution->coefficients.end(),
                        [](double c) { return c >= 0; }))
            best = *solution;
    }
    return best;
}

double standardDeviation(const PowerModelSums& sums, int column) {
    const auto n = double(sums.samples());
    const double mean = sums.xx(0, column) / n;
    return std::sqrt(std::max(0.0, sums.xx(column, column) / n - mean * mean));
}

struct Assessment {
    PowerModelStatus status;
    std::optional<PowerModel> model;
};

Assessment assess(const PowerModelSums& sums) {
    Assessment result;
    result.status.hours = sums.hours();
    if (sums.samples() == 0 || sums.hours() < PowerModel::hoursNeeded) return result;
    constexpr int cpu = 1, gpu = 3;
    if (std::max(standardDeviation(sums, cpu), standardDeviation(sums, gpu)) <
        PowerModelRules::spreadNeeded) {
        result.status.state = PowerModelState::tooLittleSpread;
        return result;
    }
    const auto fit = nonNegativeFit(sums);
    const double mean = sums.xy()[0] / double(sums.samples());
    const double total = sums.yy() - mean * sums.xy()[0];
    const double quality = total > 0 ? std::clamp(1 - fit.residual / total, 0.0, 1.0) : 0.0;
    result.status.fitQuality = quality;
    if (quality < PowerModelRules::fitQualityNeeded) {
        result.status.state = PowerModelState::poorFit;
        return result;
    }
    result.status.state = PowerModelState::ready;
    const auto& c = fit.coefficients;
    result.model = PowerModel{c[0], c[1], c[2], c[3], sums.samples(), sums.hours(), quality};
    return result;
}

// A figure no machine gives (a line edited by hand) would swamp a year of sums; squared,
// these still sum finitely.
bool plausible(const PowerUse& use, double watts) {
    constexpr double mostPerSecond = 1e9, mostWatts = 1e4;
    const auto rate = [](double r) { return r >= 0 && r < mostPerSecond; };
    return rate(use.cpu) && rate(use.wakeups) && rate(use.gpu) && watts > 0 && watts < mostWatts;
}

double atLeastZero(double value) {
    return std::max(0.0, value); // a NaN counts as none too
}

} // namespace

PowerUse PowerUse::of(const AppReading& reading, double seconds) {
    if (!(seconds > 0)) return {};
    return {reading.cpuSeconds / seconds, reading.idleWakeups / seconds,
            reading.gpuSeconds.value_or(0) / seconds};
}

PowerUse& PowerUse::operator+=(const PowerUse& other) {
    cpu += other.cpu;
    wakeups += other.wakeups;
    gpu += other.gpu;
    return *this;
}

double PowerModel::watts(const PowerUse& use) const {
    return perCpu * atLeastZero(use.cpu) + perWakeup * atLeastZero(use.wakeups) +
           perGpu * atLeastZero(use.gpu);
}

double PowerModel::total(const PowerUse& use) const {
    return base + watts(use);
}

void PowerModelSums::add(const PowerUse& use, double watts, double seconds) {
    const std::array<double, columns> x{1, use.cpu, use.wakeups, use.gpu};
    for (int i = 0; i < columns; ++i) {
        for (int j = i; j < columns; ++j)
            xx_[size_t(triangleIndex(i, j))] += x[size_t(i)] * x[size_t(j)];
        xy_[size_t(i)] += x[size_t(i)] * watts;
    }
    yy_ += watts * watts;
    ++samples_;
    seconds_ += seconds;
}

PowerModelSums& PowerModelSums::operator+=(const PowerModelSums& other) {
    for (size_t i = 0; i < xx_.size(); ++i)
        xx_[i] += other.xx_[i];
    for (size_t i = 0; i < xy_.size(); ++i)
        xy_[i] += other.xy_[i];
    yy_ += other.yy_;
    samples_ += other.samples_;
    seconds_ += other.seconds_;
    return *this;
}

double PowerModelSums::xx(int row, int column) const {
    return xx_[size_t(triangleIndex(row, column))];
}

std::optional<PowerModel> fitPowerModel(const PowerModelSums& sums) {
    return assess(sums).model;
}

PowerModelStatus powerModelStatus(const PowerModelSums& sums) {
    return assess(sums).status;
}

PowerModelSums sumsOfDay(const std::vector<HistoryLine>& lines) {
    struct Use {
        Timestamp time;
        PowerUse use;
        // The battery sample nearest to it: each line counts once, with that sample's rate
        // (the sample taken at an unplug may be near the same line as the regular one).
        std::optional<double> watts = std::nullopt;
        double distance = 0;
    };
    std::vector<Use> apps;
    for (const auto& line : lines)
        if (const auto* a = std::get_if<AppsLine>(&line.record)) {
            // The first line after a start or a resume sums a few readings only.
            const double seconds = a->seconds.value_or(appsWindowSeconds);
            if (!(seconds >= appsWindowSeconds * 0.9)) continue;
            PowerUse use;
            for (const auto& reading : a->readings)
                use += PowerUse::of(reading, seconds);
            apps.push_back({a->time, use});
        }
    const auto byTime = [](const Use& a, const Use& b) { return a.time < b.time; };
    if (!std::is_sorted(apps.begin(), apps.end(), byTime))
        std::stable_sort(apps.begin(), apps.end(), byTime);
    // Both are written at the same refresh, seconds apart at most.
    constexpr double pairedWithin = 60;
    PowerModelSums sums;
    for (const auto& line : lines) {
        const auto* snapshot = std::get_if<BatterySnapshot>(&line.record);
        if (snapshot == nullptr || snapshot->source != PowerSource::battery || !snapshot->battery ||
            snapshot->battery->state == ChargeState::charging)
            continue;
        const auto watts = snapshot->battery->watts();
        if (!watts) continue;
        const auto after =
            std::lower_bound(apps.begin(), apps.end(), Use{snapshot->time, {}}, byTime);
        Use* nearest = nullptr;
        double distance = pairedWithin;
        for (auto it = after == apps.begin() ? after : after - 1; it != apps.end() && it <= after;
             ++it) {
            const double d = std::fabs(secondsBetween(snapshot->time, it->time));
            if (d <= distance) {
                nearest = &*it;
                distance = d;
            }
        }
        if (nearest && (!nearest->watts || distance < nearest->distance)) {
            nearest->watts = watts;
            nearest->distance = distance;
        }
    }
    for (const auto& use : apps)
        if (use.watts && plausible(use.use, *use.watts))
            sums.add(use.use, *use.watts, appsWindowSeconds);
    return sums;
}

PowerModelLearner::Catchup PowerModelLearner::daysToRead(const HistoryStore& store) const {
    Catchup catchup;
    const auto files = store.dayFileSizes(); // by name, as days_ is
    auto known = days_.begin();
    for (const auto& file : files) {
        for (; known != days_.end() && known->name < file.name; ++known)
            catchup.gone.push_back(known->name);
        const bool summed = known != days_.end() && known->name == file.name;
        if (!summed || known->bytes != file.bytes) catchup.toRead.push_back(file);
        if (summed) ++known;
    }
    for (; known != days_.end(); ++known)
        catchup.gone.push_back(known->name);
    return catchup;
}

std::vector<PowerModelLearner::Day>
PowerModelLearner::read(const HistoryStore& store,
                        const std::vector<HistoryStore::DayFileSize>& days) {
    std::vector<Day> read;
    read.reserve(days.size());
    for (const auto& file : days) {
        const auto lines = store.dayLines(file.name);
        read.push_back({file.name, file.bytes, lines ? sumsOfDay(*lines) : PowerModelSums{}});
    }
    return read;
}

bool PowerModelLearner::merge(std::vector<Day> days, const std::vector<std::string>& gone) {
    bool changed = false;
    const auto byName = [](const Day& day, const std::string& name) { return day.name < name; };
    for (const auto& name : gone) {
        const auto found = std::lower_bound(days_.begin(), days_.end(), name, byName);
        if (found == days_.end() || found->name != name) continue;
        changed = changed || found->sums.samples() > 0;
        days_.erase(found);
    }
    for (auto& day : days) {
        const auto found = std::lower_bound(days_.begin(), days_.end(), day.name, byName);
        if (found != days_.end() && found->name == day.name) {
            changed = changed || found->sums != day.sums;
            *found = std::move(day);
        } else {
            changed = changed || day.sums.samples() > 0;
            days_.insert(found, std::move(day));
        }
    }
    if (!changed) return false;
    PowerModelSums total;
    for (const auto& day : days_)
        total += day.sums;
    const auto assessment = assess(total);
    model_ = assessment.model;
    status_ = assessment.status;
    return true;
}

std::optional<double> estimateWatts(std::vector<AppPower>& apps,
                                    const std::optional<PowerModel>& model) {
    if (!model) {
        for (auto& app : apps)
            app.estimatedWatts.reset();
        return std::nullopt;
    }
    double total = model->base;
    for (auto& app : apps) {
        if (!(app.interval > 0)) {
            app.estimatedWatts.reset();
            continue;
        }
        const PowerUse use{app.cpuSeconds / app.interval, app.idleWakeups / app.interval,
                           app.gpuSeconds.value_or(0) / app.interval};
        app.estimatedWatts = model->watts(use);
        total += *app.estimatedWatts;
    }
    return total;
}

} // namespace PowerCore
