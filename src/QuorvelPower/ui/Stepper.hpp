#pragma once

#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QTimer>
#include <QToolTip>
#include <optional>

namespace QuorvelPower {

// A stepper (QSpinBox or QDoubleSpinBox) that takes any number typed: one out of range becomes
// the nearest allowed value, and a tip under it says so (Qt's own drops the keys that
// overflow: 99999 became 9).
template <class Box> class Stepper final : public Box {
public:
    // What screen readers say of it; a value it took in place of one out of range is added.
    void describe(const QString& name, const QString& description) {
        this->setAccessibleName(name);
        this->setAccessibleDescription(description_ = description);
    }

    Stepper() {
        // A value in range typed after one out of range: the tip is no longer said.
        QObject::connect(this, &Box::editingFinished, this, [this] {
            if (!clamped_ && !description_.isEmpty()) this->setAccessibleDescription(description_);
            clamped_ = false;
        });
    }

protected:
    QValidator::State validate(QString& input, int& position) const override {
        const auto state = Box::validate(input, position);
        return state == QValidator::Invalid && outside(input) ? QValidator::Intermediate : state;
    }
    void fixup(QString& input) const override {
        const auto number = outside(input);
        if (!number) return Box::fixup(input);
        const bool high = *number > this->maximum();
        const QString nearest = this->prefix() +
                                this->textFromValue(high ? this->maximum() : this->minimum()) +
                                this->suffix();
        input = nearest;
        const QString tip = QString(high ? "The most allowed: " : "The least allowed: ") + nearest;
        auto* box = const_cast<Stepper*>(this);
        box->clamped_ = true;
        QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), tip, box);
        const QString said = description_.isEmpty() ? tip : description_ + ". " + tip;
        QTimer::singleShot(0, box, [box, said] { box->setAccessibleDescription(said); });
    }

private:
    QString description_;
    bool clamped_ = false; // in the edit being finished
    // The number typed, when it lies outside the range.
    std::optional<double> outside(QString text) const {
        if (text.startsWith(this->prefix())) text.remove(0, this->prefix().size());
        if (text.endsWith(this->suffix())) text.chop(this->suffix().size());
        bool ok = false;
        const double number = this->locale().toDouble(text.trimmed(), &ok);
        if (!ok || (number >= this->minimum() && number <= this->maximum())) return std::nullopt;
        return number;
    }
};

} // namespace QuorvelPower
