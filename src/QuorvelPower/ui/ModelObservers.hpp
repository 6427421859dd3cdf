#pragma once

#include <QuorvelPower/model/AppModel.hpp>
#include <functional>
#include <map>
#include <memory>

namespace QuorvelPower {

// Hands the model's changes to every screen that listens. A listener stays while the token
// it was given is held.
class ModelObservers {
public:
    using Listener = std::function<void(AppModel::Field)>;
    using Token = std::shared_ptr<void>;

    explicit ModelObservers(AppModel& model);
    ~ModelObservers();
    ModelObservers(const ModelObservers&) = delete;
    ModelObservers& operator=(const ModelObservers&) = delete;

    [[nodiscard]] Token listen(Listener listener);

private:
    struct Listeners {
        std::map<std::uint64_t, Listener> byId;
        std::uint64_t next = 0;
    };
    AppModel& model_;
    std::shared_ptr<Listeners> listeners_ = std::make_shared<Listeners>();
};

} // namespace QuorvelPower
