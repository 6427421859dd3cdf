#pragma once

#include <QScrollArea>
#include <QuorvelPower/ui/ModelObservers.hpp>
#include <initializer_list>

class QVBoxLayout;

namespace QuorvelPower {

// A tab's scrolling page, built again (once per turn of the event loop) whenever one of
// the fields it shows changes while it is on screen; a page off screen notes the change and
// is built again when shown.
class ScreenPage : public QScrollArea {
public:
    ScreenPage(AppModel& model, ModelObservers& observers,
               std::initializer_list<AppModel::Field> fields, const char* name);
    void rebuild();

protected:
    void showEvent(QShowEvent* event) override;
    // Fills the fresh page's column.
    virtual void build(QVBoxLayout* column) = 0;
    // Whether a change of one of the page's fields calls for a new page now.
    virtual bool follows(AppModel::Field) const { return true; }
    AppModel& model_;

private:
    std::vector<AppModel::Field> fields_;
    bool pending_ = false;
    bool stale_ = false;
    ModelObservers::Token token_;
};

QLabel* secondaryLabel(const QString& text, const char* name = nullptr);
// A sheet's title.
QLabel* sheetHeading(const QString& text);

} // namespace QuorvelPower
