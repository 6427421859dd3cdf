#include <QuorvelPower/ui/Icons.hpp>
#include <array>
#include <utility>

namespace QuorvelPower {

namespace {

struct Symbol {
    std::string_view name;
    const char* themeName; // empty: ours only (no freedesktop name fits)
    const char* file;
};

constexpr std::array symbols{
    Symbol{"bolt", "", "bolt"},
    Symbol{"cup.and.saucer", "", "cup"},
    Symbol{"cup.and.saucer.fill", "", "cup-filled"},
    Symbol{"exclamationmark.triangle.fill", "dialog-warning", "warning"},
    Symbol{"battery.75percent", "battery-good", "battery"},
    Symbol{"powerplug", "ac-adapter", "plug"},
    Symbol{"thermometer.medium", "", "thermometer"},
    Symbol{"thermometer.low", "", "thermometer"},
    Symbol{"app.badge", "", "apps"},
    Symbol{"clock.arrow.circlepath", "document-open-recent", "clock"},
    Symbol{"arrow.clockwise", "view-refresh", "refresh"},
    Symbol{"square.and.arrow.up", "document-save-as", "export"},
    Symbol{"questionmark.circle", "dialog-question", "question"},
    Symbol{"info.circle", "dialog-information", "info"},
    Symbol{"checkmark.square.fill", "", "check-on"},
    Symbol{"square", "", "check-off"},
};

} // namespace

QIcon symbol(std::string_view name) {
    for (const auto& entry : symbols) {
        if (entry.name != name) continue;
        const QIcon ours(QString(":/icons/%1.svg").arg(entry.file));
        if (*entry.themeName == '\0') return ours;
        return QIcon::fromTheme(entry.themeName, ours);
    }
    return {};
}

} // namespace QuorvelPower
