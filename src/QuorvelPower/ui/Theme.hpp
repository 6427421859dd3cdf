#pragma once

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <optional>
#include <string>
#include <vector>

class QApplication;
class QChart;
class QVBoxLayout;

namespace QuorvelPower {

// The one colour set of every screen.
namespace Theme {
QColor accent();
QColor attention();
QColor good();
QColor page();
QColor card();
QColor hairline();
QColor secondaryText();
// A chart's axis labels, titles, lines and legend in the palette's text colours (Qt Charts'
// own are dark grey, unreadable on a dark page).
void colourChart(QChart* chart);
// A text in the secondary colour, which follows a change of the desktop's palette.
void setSecondary(QWidget* widget);
// After a change of the application's palette (the desktop went dark): the style sheet, the
// secondary texts and the charts in the new colours.
void followPalette();
// The one style sheet of the program: cards, pills and the popover's buttons, marked by
// their `vuzur` property.
QString styleSheet();

// "--appearance dark" gives the dark palette, any other value the light one; without the
// option the desktop's own palette stays. The comparison is exact: "Dark" is light.
void applyAppearance(QApplication& application, const std::vector<std::string>& arguments);
} // namespace Theme

// Texts for labels: the caption and callout fonts of the screens.
QFont captionFont();
QFont calloutFont(bool medium = false);
QString toQString(const std::string& text);
// A label whose text is plain text, never markup: every label of the screens, since any
// process, desktop entry or inhibitor names itself and "<b>" in a name is no bold type.
QLabel* plainLabel(const QString& text = {}, QWidget* parent = nullptr);
// A name from outside in a list: one of a few hundred characters (any process may take one)
// ends in "…" at `widest` pixels in the label's font rather than pushing the other columns
// off the page; screen readers get the whole.
void setNameText(QLabel* label, const QString& name, int widest = 320);
// A text with the platform's words of this system ("computer" for "Mac" and the like).
QString platformWords(const std::string& text);
// A hairline between rows or sections.
QFrame* divider();

} // namespace QuorvelPower
