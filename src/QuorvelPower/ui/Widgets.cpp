#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/Widgets.hpp>

namespace QuorvelPower {

Card::Card(const QString& title, QWidget* trailing, QWidget* parent)
    : QFrame(parent) {
    // A property, not the object name, marks it: screens name their cards.
    setProperty("vuzur", "card");
    setAttribute(Qt::WA_StyledBackground, true);
    if (!title.isEmpty()) setAccessibleName(title);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    if (!title.isEmpty() || trailing != nullptr) {
        auto* header = new QHBoxLayout;
        auto* label = plainLabel(title);
        QFont font = label->font();
        font.setPointSizeF(10);
        font.setWeight(QFont::DemiBold);
        label->setFont(font);
        header->addWidget(label);
        header->addStretch();
        if (trailing != nullptr) header->addWidget(trailing);
        layout->addLayout(header);
    }
    body_ = new QVBoxLayout;
    body_->setSpacing(8);
    layout->addLayout(body_);
}

Pill::Pill(const QString& text, Tone tone, QWidget* parent)
    : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setText(text);
    QFont font = this->font();
    font.setPointSizeF(8.5);
    font.setWeight(QFont::DemiBold);
    setFont(font);
    setTone(tone);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

void Pill::setTone(Tone tone) {
    const char* names[] = {"pill-accent", "pill-attention", "pill-good"};
    setProperty("vuzur", names[int(tone)]);
    // The style sheet's selectors read the property when the style is applied again.
    style()->unpolish(this);
    style()->polish(this);
}

BigNumber::BigNumber(const QString& value, const std::optional<QString>& unit,
                     const QString& caption, QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* row = new QHBoxLayout;
    row->setSpacing(3);
    number_ = plainLabel();
    QFont big = number_->font();
    big.setPointSizeF(23);
    big.setWeight(QFont::DemiBold);
    number_->setFont(big);
    row->addWidget(number_, 0, Qt::AlignBaseline);
    unit_ = plainLabel();
    QFont medium = unit_->font();
    medium.setPointSizeF(10.5);
    medium.setWeight(QFont::Medium);
    unit_->setFont(medium);
    row->addWidget(unit_, 0, Qt::AlignBaseline);
    row->addStretch();
    column->addLayout(row);
    caption_ = plainLabel();
    caption_->setFont(captionFont());
    Theme::setSecondary(caption_);
    column->addWidget(caption_);
    set(value, unit, caption);
}

void BigNumber::set(const QString& value, const std::optional<QString>& unit,
                    const QString& caption) {
    number_->setText(value);
    unit_->setText(unit.value_or(QString()));
    unit_->setVisible(unit.has_value());
    caption_->setText(caption);
    setAccessibleName(caption);
    setAccessibleDescription(unit ? value + " " + *unit : value);
}

NumberRow::NumberRow() {
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(28);
    row_->addStretch();
}

void NumberRow::set(const std::vector<Number>& numbers) {
    while (numbers_.size() < numbers.size()) {
        numbers_.push_back(new BigNumber({}, std::nullopt, {}));
        row_->insertWidget(int(numbers_.size()) - 1, numbers_.back());
    }
    for (size_t i = 0; i < numbers_.size(); ++i) {
        numbers_[i]->setVisible(i < numbers.size());
        if (i < numbers.size())
            numbers_[i]->set(numbers[i].value, numbers[i].unit, numbers[i].caption);
    }
}

} // namespace QuorvelPower
