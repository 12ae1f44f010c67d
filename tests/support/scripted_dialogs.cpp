#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

namespace nms::testing {

void ScriptedDialogs::expect(ports::Answer answer, std::string textContains) {
    answers_.push_back({answer, std::move(textContains)});
}

void ScriptedDialogs::expectInput(std::optional<std::string> text) { inputs_.push_back(std::move(text)); }

ports::Answer ScriptedDialogs::messageBox(const ports::MessageBox& box) {
    ports::Answer answer = box.defaultButton;
    if (answers_.empty()) {
        if (!allowUnexpected) ADD_FAILURE() << "unexpected message box: \"" << box.text << "\" (" << box.title << ")";
    } else {
        auto e = answers_.front();
        answers_.pop_front();
        if (!e.contains.empty() && box.text.find(e.contains) == std::string::npos)
            ADD_FAILURE() << "message box \"" << box.text << "\" does not contain \"" << e.contains << "\"";
        answer = e.answer;
    }
    shown_.push_back({box, answer});
    if (whileOpen) whileOpen(box);
    return answer;
}

std::optional<std::string> ScriptedDialogs::inputBox(const std::string& prompt, const std::string& title,
                                                     const std::string& proposed) {
    inputsShown_.push_back({prompt, title, proposed});
    if (inputs_.empty()) {
        if (!allowUnexpected) ADD_FAILURE() << "unexpected input box: \"" << prompt << "\"";
        return std::nullopt;
    }
    auto v = inputs_.front();
    inputs_.pop_front();
    return v;
}

void ScriptedDialogs::expectSaveFile(std::optional<std::string> path) {
    saveFiles_.push_back(std::move(path));
}

std::optional<std::string> ScriptedDialogs::saveFileName(const SaveFile& request) {
    saveFilesShown_.push_back(request);
    if (saveFiles_.empty()) {
        if (!allowUnexpected) ADD_FAILURE() << "unexpected save dialog: \"" << request.title << "\"";
        return std::nullopt;
    }
    auto path = saveFiles_.front();
    saveFiles_.pop_front();
    return path;
}

std::vector<std::string> ScriptedDialogs::texts() const {
    std::vector<std::string> out;
    for (const auto& s : shown_) out.push_back(s.box.text);
    return out;
}

}  // namespace nms::testing
