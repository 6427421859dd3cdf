#pragma once

#include <QApplication>

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

} // namespace VuzurTests
