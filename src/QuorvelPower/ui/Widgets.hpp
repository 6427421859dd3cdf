#pragma once

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <optional>
#include <utility>
#include <vector>

namespace QuorvelPower {

// A rounded panel with an optional title row; the content goes into body().
class Card : public QFrame {
public:
    explicit Card(const QString& title = {}, QWidget* trailing = nullptr,
                  QWidget* parent = nullptr);
    QVBoxLayout* body() const { return body_; }

private:
    QVBoxLayout* body_;
};

// Rows of labels only, which nobody works with: rather than updated in place, they are made
// again, and only when what they show changed.
template <typename Shown> class RemadeRows {
public:
    // A fresh, empty holder in `parent` for the rows of `shown`; none when the rows show it
    // already.
    QWidget* renew(QBoxLayout* parent, Shown shown) {
        if (holder_ && shown == shown_) return nullptr;
        shown_ = std::move(shown);
        delete holder_;
        holder_ = new QWidget;
        parent->addWidget(holder_);
        return holder_;
    }
    const Shown& shown() const { return shown_; }

private:
    QWidget* holder_ = nullptr; // owned by its parent widget
    Shown shown_{};
};

// A short text on a capsule of its tone's colour.
class Pill final : public QLabel {
public:
    enum class Tone { accent, attention, good };
    Pill(const QString& text, Tone tone, QWidget* parent = nullptr);
    void setTone(Tone tone);
};

// A large value with its unit and a caption under it; screen readers hear the caption as its
// name and the value as its description.
class BigNumber final : public QWidget {
public:
    BigNumber(const QString& value, const std::optional<QString>& unit, const QString& caption,
              QWidget* parent = nullptr);
    void set(const QString& value, const std::optional<QString>& unit, const QString& caption);

private:
    QLabel* number_;
    QLabel* unit_;
    QLabel* caption_;
};

// A row of big numbers whose count follows what there is to show; the numbers already
// there are updated in place.
class NumberRow final : public QWidget {
public:
    struct Number {
        QString value;
        std::optional<QString> unit;
        QString caption;
    };
    NumberRow();
    void set(const std::vector<Number>& numbers);

private:
    QHBoxLayout* row_;
    std::vector<BigNumber*> numbers_;
};

} // namespace QuorvelPower
