// The history glue: the samples written, the reload, the export and deleting older days.
#include "AppModelInternal.hpp"

#include <PowerCore/history/Retention.hpp>
#include <algorithm>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <stdexcept>

namespace QuorvelPower {

using namespace PowerCore;
using namespace ModelInternal;

void AppModel::writeBatterySample(Timestamp now) {
    lastBatterySample_ = now;
    if (writesHistory()) {
        try {
            parts_.store->append(HistoryLine{battery_});
            // The chart shows it at once, without reading the history again.
            if (battery_.battery) {
                shown_.history.charge.push_back(ChargeSample::of(battery_));
                tell(&ModelListener::historyChanged);
            }
        } catch (const std::exception&) {
            // Nor is it shown: the chart shows what the history holds.
            markForDiagnostics("historyWriteFailed");
        }
        if (battery_.battery) try {
                if (parts_.store->appendDailyHealth(
                        DailyHealthPoint::of(parts_.store->dayName(now), *battery_.battery)))
                    publish(&ModelListener::historyChanged, shown_.dailyHealth,
                            parts_.store->dailyHealth());
            } catch (const std::exception&) {
                // The day's point is tried again with the next sample.
                markForDiagnostics("historyWriteFailed");
            }
    }
    if (!shown_.recordSince)
        publish(&ModelListener::historyChanged, shown_.recordSince, std::optional<Timestamp>(now));
}

void AppModel::markForDiagnostics(const std::string& name) {
    if (parts_.diagnostics) parts_.diagnostics->mark(name, parts_.clock->now());
}

void AppModel::learnPowerModel() {
    if (!parts_.store || quitting_ || learningPowerModel_) return;
    lastLearnt_ = parts_.clock->now();
    PowerModelLearner::Catchup catchup;
    try {
        catchup = learner_.daysToRead(*parts_.store);
    } catch (const std::exception&) {
        return; // the folder cannot be listed now; the next hour tries again
    }
    if (catchup.empty()) {
        if (!powerModelRead_) publish(&ModelListener::appsChanged, powerModelRead_, true);
        return;
    }
    learningPowerModel_ = true;
    auto days = std::make_shared<std::vector<PowerModelLearner::Day>>();
    parts_.scheduler->background(
        [store = parts_.store, days, toRead = std::move(catchup.toRead)] {
            try {
                *days = PowerModelLearner::read(*store, toRead);
            } catch (const std::exception&) {
                days->clear(); // memory ran out: the next hour tries again
            }
        },
        whileAlive(alive_, [this, days, gone = std::move(catchup.gone)] {
            learningPowerModel_ = false;
            const bool changed = learner_.merge(std::move(*days), gone);
            publish(&ModelListener::appsChanged, powerModelRead_, true);
            if (!changed) return;
            tell(&ModelListener::appsChanged);
            refreshApps();
        }));
}

void AppModel::loadHistory() {
    if (!parts_.store || quitting_) return;
    learnPowerModel();
    // A year of history takes a moment to read: it is read off the main thread, and a load
    // asked for meanwhile becomes one more after it.
    if (loadingHistory_) {
        historyLoadQueued_ = true;
        return;
    }
    loadingHistory_ = true;
    auto reload = std::make_shared<HistoryReload>(shown_);
    parts_.scheduler->background(
        [store = parts_.store, reload] { reload->read(*store); },
        whileAlive(alive_, [this, reload] {
            loadingHistory_ = false;
            if (auto next = std::move(*reload).merged(shown_)) {
                publish(&ModelListener::historyChanged, shown_.dailyHealth,
                        std::move(next->dailyHealth));
                shown_.history = std::move(next->history);
                tell(&ModelListener::historyChanged);
                publish(&ModelListener::historyChanged, shown_.bytes, next->bytes);
                publish(&ModelListener::historyChanged, shown_.recordSince, next->recordSince);
                markForDiagnostics("historyLoaded");
            }
            if (historyLoadQueued_) {
                historyLoadQueued_ = false;
                loadHistory();
            }
        }));
}

std::string AppModel::exportName(Export::Format format) const {
    return Export::fileName(format, parts_.clock->now(), parts_.calendar);
}

bool AppModel::startExport(Export::Format format, const std::string& path) {
    if (export_ || quitting_) return false;
    auto job = std::make_shared<ExportJob>();
    export_ = job;
    std::erase_if(exports_, [](const std::weak_ptr<ExportJob>& old) { return old.expired(); });
    exports_.push_back(job);
    publish(&ModelListener::exportingChanged, exportProgress_, std::optional<double>(0.0));
    if (parts_.diagnostics) parts_.diagnostics->mark("exportStarted", parts_.clock->now());
    Export::ReportInputs inputs;
    inputs.now = parts_.clock->now();
    inputs.model = parts_.machineModel;
    inputs.snapshot = battery_;
    auto failure = std::make_shared<std::optional<std::string>>();
    // The progress is told on the main thread as the share done passes each per cent.
    const auto tell = whileAlive(alive_, [this, job](int percent) {
        if (export_ != job || job->cancelled) return;
        publish(&ModelListener::exportingChanged, exportProgress_,
                std::optional<double>(percent / 100.0));
    });
    parts_.scheduler->background(
        [store = parts_.store, open = parts_.openExportFile, scheduler = parts_.scheduler,
         dates = std::shared_ptr<const Export::DateFormatter>(datesIn(parts_.calendar)), format,
         path, inputs, job, failure, tell] {
            try {
                if (!store || !open) throw std::runtime_error("There is no history to export.");
                if (job->advance(ExportJob::Stage::writing)) {
                    const auto out = open(path);
                    const auto progress = [&](double done) {
                        const int percent = int(std::clamp(done, 0.0, 1.0) * 100);
                        if (job->percent.exchange(percent) != percent)
                            scheduler->post([tell, percent] { tell(percent); });
                        return !job->cancelled;
                    };
                    if (Export::write(format, *store, inputs, *dates, *out, progress) &&
                        job->advance(ExportJob::Stage::committing))
                        out->commit();
                }
            } catch (const std::exception& error) {
                *failure = error.what();
            }
            job->end();
        },
        whileAlive(alive_, [this, job, failure] {
            if (export_ == job) export_.reset();
            if (parts_.diagnostics && !*failure && !job->cancelled)
                parts_.diagnostics->mark("exportWritten", parts_.clock->now());
            if (!job->cancelled)
                publish(&ModelListener::exportingChanged, exportProgress_, std::optional<double>{});
            if (*failure && !job->cancelled)
                publish(&ModelListener::sheetsChanged, notice_,
                        std::optional<Notice>(
                            Notice{UUID::random(), "The file was not saved", **failure}));
        }));
    return true;
}

void AppModel::cancelExport() {
    // The worker stops at the end of the day file it reads and removes what it wrote; the
    // window is done with it at once, and may start another. A file being renamed into
    // place is saved all the same.
    if (!export_ || !export_->cancel()) return;
    export_.reset();
    publish(&ModelListener::exportingChanged, exportProgress_, std::optional<double>{});
}

void AppModel::askDeleteOlderHistory() {
    if (!parts_.store) return;
    publish(&ModelListener::sheetsChanged, deleteCandidates_,
            std::optional<std::vector<std::string>>(Retention::filesOlderThanWindow(
                *parts_.store, parts_.clock->now(), parts_.calendar)));
}

void AppModel::confirmDeleteOlderHistory() {
    std::vector<std::string> deleted;
    if (writesHistory())
        deleted = Retention::deleteOlderThanWindow(*parts_.store, parts_.clock->now());
    publish(&ModelListener::sheetsChanged, deleteCandidates_,
            std::optional<std::vector<std::string>>{});
    Notice notice{UUID::random(), "Nothing to delete", ""};
    if (parts_.store && !writesHistory())
        notice = {UUID::random(), "Nothing was deleted",
                  "Another copy of Vuzur keeps this history: delete older days from there."};
    if (!deleted.empty()) {
        notice.title = "Deleted " + std::to_string(deleted.size()) + " day file";
        if (deleted.size() != 1) notice.title.push_back('s');
        notice.message = fmt::format("{}", fmt::join(deleted, "\n"));
    }
    publish(&ModelListener::sheetsChanged, notice_, std::optional<Notice>(std::move(notice)));
    loadHistory();
}

} // namespace QuorvelPower
