#pragma once

#include <QIcon>
#include <string_view>

namespace QuorvelPower {

// The symbols the screens name, as the desktop's own icon (freedesktop names) where its
// theme has a fitting one, else our own drawing.
QIcon symbol(std::string_view name);

} // namespace QuorvelPower
