#include "cli/console_dialogs.h"

namespace nms::cli {
namespace {
std::string lines(std::string text) {
    for (auto& c : text)
        if (c == '\r') c = '\n';
    return text;
}
}  // namespace

ports::Answer ConsoleDialogs::messageBox(const ports::MessageBox& box) {
    said_.push_back(box);
    // Hints written for a person at the window (the empty database, say) are noise in a script
    // that runs every minute; --verbose shows them.
    if (!verbose_ && (box.hint || box.title == "Information") &&
        box.buttons == ports::MessageButtons::Ok)
        return ports::Answer::Ok;
    std::fprintf(stderr, "%s: %s\n", box.title.c_str(), lines(box.text).c_str());
    if (!box.details.empty()) {
        std::string details = lines(box.details);
        for (std::size_t at = details.find('\n'); at != std::string::npos;
             at = details.find('\n', at + 3))
            details.replace(at, 1, "\n  ");
        std::fprintf(stderr, "  %s\n", details.c_str());
    }
    switch (box.buttons) {
        case ports::MessageButtons::YesNo:
        case ports::MessageButtons::YesNoCancel:
            if (yes_) {
                std::fprintf(stderr, "  -> Yes (--yes)\n");
                return ports::Answer::Yes;
            }
            ++refused_;
            std::fprintf(stderr, "  -> No (give --yes to answer Yes)\n");
            return ports::Answer::No;
        case ports::MessageButtons::OkCancel:
        case ports::MessageButtons::RetryCancel:
            return yes_ ? (box.buttons == ports::MessageButtons::OkCancel ? ports::Answer::Ok
                                                                          : ports::Answer::Retry)
                        : ports::Answer::Cancel;
        case ports::MessageButtons::Ok:
            break;
    }
    return ports::Answer::Ok;
}

std::optional<std::string> ConsoleDialogs::inputBox(const std::string& prompt,
                                                    const std::string& title, const std::string&) {
    std::fprintf(stderr, "%s: %s -> cancelled\n", title.c_str(), prompt.c_str());
    return std::nullopt;
}

}  // namespace nms::cli
