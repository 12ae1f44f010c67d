#pragma once

#include <optional>
#include <string>

namespace nms::ports {

enum class MessageIcon { None, Critical, Question, Exclamation, Information };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class Answer { Ok, Cancel, Yes, No, Retry };

// A message box. Lines of the text are separated by a carriage return ("\r"), as the station's
// texts are written; a view shows each as a line of its own.
struct MessageBox {
    std::string text;
    std::string title;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    Answer defaultButton = Answer::Ok;
    // More text the operator can unfold under the box (empty: none).
    std::string details;
    // A reminder for a person at the window ("don't forget to save"), not an outcome: a front
    // end without a person in front of it may leave it out.
    bool hint = false;
};

// Modal dialogs. Both calls return only when the operator has answered.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual Answer messageBox(const MessageBox& box) = 0;
    // The operator's text, or nothing when the box was cancelled.
    virtual std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                                const std::string& proposed) = 0;

    // Where to save a file: the path the operator chose, or nothing when the dialog was
    // cancelled. `proposed` is a path (its folder is where the dialog opens); `filter` names the
    // kind of file, "CSV files (*.csv)". A front end without file dialogs saves nothing.
    struct SaveFile {
        std::string title;
        std::string proposed;
        std::string filter;
    };
    virtual std::optional<std::string> saveFileName(const SaveFile& /*request*/) {
        return std::nullopt;
    }
};

}  // namespace nms::ports
