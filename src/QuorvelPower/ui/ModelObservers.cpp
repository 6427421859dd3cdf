#include <QuorvelPower/ui/ModelObservers.hpp>

namespace QuorvelPower {

ModelObservers::ModelObservers(AppModel& model)
    : model_(model) {
    model_.setObserver([listeners = listeners_](AppModel::Field field) {
        // A listener may stop listening, or start another, while it is told.
        const auto copy = listeners->byId;
        for (const auto& [id, listener] : copy)
            if (listeners->byId.contains(id)) listener(field);
    });
}

ModelObservers::~ModelObservers() {
    model_.setObserver({});
}

ModelObservers::Token ModelObservers::listen(Listener listener) {
    const auto id = listeners_->next++;
    listeners_->byId.emplace(id, std::move(listener));
    std::weak_ptr<Listeners> weak = listeners_;
    return std::shared_ptr<void>(nullptr, [weak, id](void*) {
        if (const auto listeners = weak.lock()) listeners->byId.erase(id);
    });
}

} // namespace QuorvelPower
