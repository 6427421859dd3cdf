#include <PowerCore/foundation/PlatformWords.hpp>
#include <array>
#include <utility>

namespace PowerCore {

namespace {

// macOS words -> Linux words. Whole phrases, longest first where one holds another, so
// that grammar stays right; a replacement that would read wrong is mended here, never at
// the call site.
constexpr std::array<std::pair<std::string_view, std::string_view>, 25> linuxWords{{
    {"macOS cannot find this copy of Vuzur for login: move it to Applications and try again.",
     "The startup entry points to a copy of Vuzur that is no longer there: turn this off and "
     "on again."},
    {"System Settings \u2192 General \u2192 Login Items",
     "your desktop's startup applications settings"},
    {"Could not add Vuzur to Login Items", "Could not add Vuzur to the programs started at login"},
    {"Could not remove Vuzur from Login Items",
     "Could not remove Vuzur from the programs started at login"},
    {"adds itself to your Login Items", "adds itself to the programs started at login"},
    {"never changes Energy Saver", "never changes your power settings"},
    {"(for example xcodebuild)", "(for example rsync)"},
    {"Mac and display stay awake", "Computer and display stay awake"},
    {"Mac stays awake, display may sleep", "Computer stays awake, display may sleep"},
    {", Mac and display", ", computer and display"},
    {", Mac only", ", computer only"},
    {"- Mac: ", "- Computer: "},
    {"as macOS estimates", "as the system estimates"},
    {"as macOS reports it", "as the system reports it"},
    {"macOS keeps no battery history", "The system keeps no long battery history"},
    {"(as System Information shows)", "(as the battery reports it)"},
    {"Maximum capacity (System Information)", "Maximum capacity (battery's own figure)"},
    {"Apple rates it for 1,000.", "Batteries are commonly rated for 1,000."},
    {"the 1,000 Apple rates the battery for", "the 1,000 a battery is commonly rated for"},
    {"the 1,000 Apple rates it for", "the 1,000 a battery is commonly rated for"},
    {"this Mac", "this computer"},
    {"This Mac", "This computer"},
    {"the Mac", "the computer"},
    {"The Mac", "The computer"},
    {"Login Items", "the programs started at login"},
}};

} // namespace

std::string platformText(std::string_view text, Platform platform) {
    if (platform == Platform::macOS) return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        bool replaced = false;
        for (const auto& [mac, words] : linuxWords) {
            if (text.substr(at).starts_with(mac)) {
                out.append(words);
                at += mac.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out.push_back(text[at++]);
    }
    return out;
}

} // namespace PowerCore
