#pragma once

#include <QApplication>
#include <QWidget>
#include <stdexcept>
#include <string>

namespace VuzurTests {

// The one application object of the test program, offscreen, made on first use.
inline QApplication& qtApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "quorvel_power_tests";
    static char* argv[] = {name, nullptr};
    return *new QApplication(argc, argv);
}

// A screen as a person sees it: on screen, with what the model told it taken in.
inline void upToDate(QWidget& screen) {
    if (!screen.isVisible()) screen.show();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// The named control under `root`; a missing one fails the test (never a crash of the run).
template <typename T> T* control(QWidget& root, const char* name) {
    auto* found = root.findChild<T*>(name);
    if (found == nullptr) throw std::runtime_error(std::string("no control ") + name);
    return found;
}

} // namespace VuzurTests
