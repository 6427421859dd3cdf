#pragma once

#include <QChartView>
#include <QuorvelPower/ui/ScreenData.hpp>

class QLineSeries;
class QAreaSeries;
class QDateTimeAxis;

namespace QuorvelPower {

// The charge over time as a line over an area, y fixed from 0 to 100. However many
// samples it is given, the line has at most two a pixel column (each column's lowest and
// highest) and the area one (the highest), so a year of history draws as fast as a day.
class ChargeChart final : public QChartView {
public:
    explicit ChargeChart(QWidget* parent = nullptr);
    void setSamples(std::vector<ScreenData::ChargePoint> samples);
    int drawnPoints() const { return drawn_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void redraw();
    std::vector<ScreenData::ChargePoint> samples_;
    QLineSeries *line_, *top_, *base_;
    QAreaSeries* area_;
    QDateTimeAxis* time_;
    int drawn_ = 0;
};

} // namespace QuorvelPower
