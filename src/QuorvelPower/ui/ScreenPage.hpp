#pragma once

#include <QScrollArea>
#include <QuorvelPower/ui/ModelSignals.hpp>
#include <initializer_list>

class QLabel;
class QVBoxLayout;

namespace QuorvelPower {

// A tab's scrolling page, built once. It is brought up to date (once per turn of the event
// loop) when one of the kinds of change it follows arrives while it is on screen; a page
// off screen only notes the change and is brought up to date when shown again.
class ScreenPage : public QScrollArea {
public:
    using Kind = void (ModelSignals::*)();

    ScreenPage(ModelSignals& changes, const char* name);
    // How many times the page was brought up to date.
    int updates() const { return updates_; }

protected:
    void showEvent(QShowEvent* event) override;
    void follow(std::initializer_list<Kind> kinds);
    // Something the page shows changed: up to date on the next turn of the loop, or when
    // next shown.
    void changed();
    // The page's column, for the cards built once.
    QVBoxLayout* column() const { return column_; }
    // Puts the model's values into the page's widgets.
    virtual void updatePage() = 0;
    ModelSignals& changes_;
    AppModel& model_;

private:
    void bringUpToDate();

    QVBoxLayout* column_;
    bool pending_ = false;
    bool stale_ = true;
    int updates_ = 0;
};

QLabel* secondaryLabel(const QString& text, const char* name = nullptr);
// A sheet's title.
QLabel* sheetHeading(const QString& text);

} // namespace QuorvelPower
