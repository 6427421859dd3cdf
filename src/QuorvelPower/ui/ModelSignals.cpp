#include <QuorvelPower/ui/ModelSignals.hpp>

namespace QuorvelPower {

ModelSignals::ModelSignals(AppModel& model)
    : model_(model) {
    model_.setListener(this);
}

ModelSignals::~ModelSignals() {
    model_.setListener(nullptr);
}

} // namespace QuorvelPower
