#include <QAreaSeries>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QValueAxis>
#include <QuorvelPower/ui/ChargeChart.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <algorithm>
#include <array>

namespace QuorvelPower {

namespace {

qreal msecs(PowerCore::Timestamp time) {
    return qreal(
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

} // namespace

ChargeChart::ChargeChart(QWidget* parent)
    : QChartView(parent) {
    setObjectName("chargeChart");
    setRenderHint(QPainter::Antialiasing);
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setBackgroundVisible(false);
    chart->setMargins(QMargins(0, 0, 0, 0));
    line_ = new QLineSeries;
    line_->setPen(QPen(Theme::accent(), 2));
    // The area's edges are not the chart's to delete: they belong to this view.
    top_ = new QLineSeries(this);
    base_ = new QLineSeries(this);
    area_ = new QAreaSeries(top_, base_);
    QColor fill = Theme::accent();
    fill.setAlphaF(0.18f);
    area_->setBrush(fill);
    area_->setPen(Qt::NoPen);
    chart->addSeries(area_);
    chart->addSeries(line_);
    time_ = new QDateTimeAxis;
    time_->setTitleText("Time");
    time_->setFormat("d MMM HH:mm");
    time_->setTickCount(5);
    auto* charge = new QValueAxis;
    charge->setRange(0, 100);
    charge->setTitleText("Charge");
    charge->setLabelFormat("%d");
    chart->addAxis(time_, Qt::AlignBottom);
    chart->addAxis(charge, Qt::AlignLeft);
    Theme::colourChart(chart);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(area_), static_cast<QAbstractSeries*>(line_)}) {
        series->attachAxis(time_);
        series->attachAxis(charge);
    }
    // The view made a chart of its own, which setChart gives back rather than deletes.
    QChart* empty = this->chart();
    setChart(chart);
    delete empty;
}

void ChargeChart::setSamples(std::vector<ScreenData::ChargePoint> samples) {
    samples_ = std::move(samples);
    redraw();
}

void ChargeChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    redraw();
}

namespace {

QList<QPointF> chartPoints(const std::vector<ScreenData::ChargePoint>& points,
                           std::optional<double> value = std::nullopt) {
    QList<QPointF> out;
    out.reserve(qsizetype(points.size()));
    for (const auto& point : points)
        out.append(QPointF(msecs(point.time), value.value_or(point.percent)));
    return out;
}

// The axis from a round time before the first sample to one after the last, in at most
// seven steps of a round length (an hour to a year of weeks), in local time.
struct TimeAxis {
    QDateTime from, to;
    int steps = 1;
    QString format;
};

TimeAxis roundAxis(qint64 first, qint64 last) {
    constexpr qint64 hour = 3600, day = 24 * hour;
    constexpr std::array<qint64, 16> lengths{
        hour,    2 * hour, 3 * hour, 4 * hour, 6 * hour, 8 * hour, 12 * hour, day,
        2 * day, 7 * day,  14 * day, 28 * day, 56 * day, 91 * day, 182 * day, 364 * day};
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(first);
    TimeAxis axis;
    qint64 length = 0;
    for (const qint64 l : lengths) {
        length = l;
        // Day ticks an hour after midnight: the axis spaces its ticks evenly in time, so
        // across a clock change they move by an hour, and must stay on their date.
        axis.from = l < day ? QDateTime(start.date(), QTime(start.time().hour(), 0))
                            : start.date().startOfDay().addSecs(3600);
        if (axis.from > start) axis.from = axis.from.addDays(-1);
        const qint64 reach = std::max<qint64>(1, (last - axis.from.toMSecsSinceEpoch()) / 1000);
        if ((reach + l - 1) / l <= 7) break; // the shortest length that takes seven steps
    }
    const auto next = [&](const QDateTime& t) {
        return length < day ? t.addSecs(length) : t.addDays(length / day);
    };
    axis.to = next(axis.from);
    while (axis.to.toMSecsSinceEpoch() < last) {
        axis.to = next(axis.to);
        ++axis.steps;
    }
    const qint64 span = (last - first) / 1000;
    axis.format = length < day      ? (span <= day ? "HH:mm" : "d MMM HH:mm")
                  : span < 60 * day ? "d MMM"
                                    : "d MMM yyyy";
    return axis;
}

} // namespace

void ChargeChart::redraw() {
    const int columns = std::max(100, int(chart()->plotArea().width()));
    const auto points = ScreenData::reduceForColumns(samples_, columns);
    const auto envelope = ScreenData::upperEnvelope(samples_, columns);
    line_->replace(chartPoints(points));
    top_->replace(chartPoints(envelope));
    base_->replace(chartPoints(envelope, 0));
    drawn_ = int(points.size());
    if (!points.empty()) {
        const auto axis =
            roundAxis(qint64(msecs(points.front().time)), qint64(msecs(points.back().time)));
        time_->setRange(axis.from, axis.to);
        time_->setTickCount(axis.steps + 1);
        time_->setFormat(axis.format);
    }
}

} // namespace QuorvelPower
