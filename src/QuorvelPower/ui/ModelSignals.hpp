#pragma once

#include <QObject>
#include <QuorvelPower/model/AppModel.hpp>

namespace QuorvelPower {

// The model's changes as Qt signals, one per kind: the screens connect to what they show.
// One at a time listens to a model.
class ModelSignals final : public QObject, private ModelListener {
    Q_OBJECT

public:
    explicit ModelSignals(AppModel& model);
    ~ModelSignals() override;
    AppModel& model() { return model_; }

Q_SIGNALS:
    void battery();
    void thermal();
    void apps();
    void session();
    void rules();
    void assertions();
    void history();
    void alerts();
    void settings();
    void refresh();
    void sheets();
    void window();
    void exporting();

private:
    void batteryChanged() override { Q_EMIT battery(); }
    void thermalChanged() override { Q_EMIT thermal(); }
    void appsChanged() override { Q_EMIT apps(); }
    void sessionChanged() override { Q_EMIT session(); }
    void rulesChanged() override { Q_EMIT rules(); }
    void assertionsChanged() override { Q_EMIT assertions(); }
    void historyChanged() override { Q_EMIT history(); }
    void alertsChanged() override { Q_EMIT alerts(); }
    void settingsChanged() override { Q_EMIT settings(); }
    void refreshChanged() override { Q_EMIT refresh(); }
    void sheetsChanged() override { Q_EMIT sheets(); }
    void windowChanged() override { Q_EMIT window(); }
    void exportingChanged() override { Q_EMIT exporting(); }

    AppModel& model_;
};

} // namespace QuorvelPower
