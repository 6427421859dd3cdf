#pragma once

#include <QLabel>
#include <QPushButton>
#include <QuorvelPower/model/AppModel.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <string>
#include <vector>

class QProgressBar;
class QToolButton;
class QVBoxLayout;

// The pieces of the tray's popover. Each puts its rows into the popover's column once and
// is then only shown, hidden and given new texts, so that a refresh leaves the keyboard
// focus where it was. A piece adds rows, not a widget around them: its rows share out the
// popover's height with the others as they always did.
namespace QuorvelPower::Popover {

// One of our symbols in a colour; drawn again only when either changes.
class Symbol final : public QLabel {
public:
    Symbol();
    void set(std::string_view name, const QColor& tint);

private:
    std::string name_;
    QColor tint_;
};

// A row of a symbol and a title over a caption, clickable as a whole; a screen reader hears
// the title and the caption as its name.
class LineButton final : public QPushButton {
public:
    LineButton(const char* name, const QString& description);
    void set(std::string_view symbolName, const PopoverTexts::Line& line);

private:
    Symbol* icon_;
    QLabel* title_;
    QLabel* caption_;
};

// The battery and the thermal line, each the way to its tab, and a hairline under them.
struct Lines {
    explicit Lines(QVBoxLayout* column);
    LineButton* const battery;
    QLabel* const devices; // one line per device's battery, under the computer's
    LineButton* const thermal;
};

// Rows shown and hidden together.
class Block {
public:
    bool isShown() const { return shown_; }
    void setShown(bool shown);
    bool contains(const QWidget* widget) const;

protected:
    std::vector<QWidget*> widgets_;

private:
    bool shown_ = true;
};

// The program's name, and a bar while the first refresh runs.
class Header {
public:
    explicit Header(QVBoxLayout* column);
    void set(bool loading);

private:
    QProgressBar* loading_;
};

// The running session: its cup, title, what it keeps awake, when it ends, and End.
class SessionBlock final : public Block {
public:
    explicit SessionBlock(QVBoxLayout* column);
    void set(const PopoverTexts::Session& texts, bool keepsDisplayOn);
    QPushButton* end() const { return end_; }

private:
    Symbol* cup_;
    QLabel* title_;
    QLabel* keeps_;
    QLabel* endsBy_;
    QPushButton* end_;
};

// Keep awake while no session runs: the display check, the guard rails, the durations.
class StartBlock final : public Block {
public:
    explicit StartBlock(QVBoxLayout* column);
    void set(const PowerCore::GuardRails& rails);
    void setDisplayOn(bool on);
    QToolButton* displayOn() const { return displayOn_; }
    QPushButton* untilOff() const { return untilOff_; }
    QPushButton* oneHour() const { return oneHour_; }
    QPushButton* threeHours() const { return threeHours_; }

private:
    QToolButton* displayOn_;
    QLabel* rails_;
    QPushButton* untilOff_;
    QPushButton* oneHour_;
    QPushButton* threeHours_;
};

// The question near a session's limit: keep going, or end now.
class QuestionBlock final : public Block {
public:
    explicit QuestionBlock(QVBoxLayout* column);
    void set(const QString& question, const PowerCore::GuardRails& rails);
    QPushButton* extend() const { return extend_; }
    QPushButton* endNow() const { return endNow_; }

private:
    Symbol* icon_;
    QLabel* question_;
    QPushButton* extend_;
    QPushButton* endNow_;
};

// What became of the last session, under the rest.
class NoteRow final : public Block {
public:
    explicit NoteRow(QVBoxLayout* column);
    void set(const SessionNote& note);

private:
    Symbol* icon_;
    QLabel* text_;
};

// The way to the window, and out.
class Footer {
public:
    explicit Footer(QVBoxLayout* column);
    QPushButton* open() const { return open_; }
    QPushButton* quit() const { return quit_; }

private:
    QPushButton* open_;
    QPushButton* quit_;
};

} // namespace QuorvelPower::Popover
