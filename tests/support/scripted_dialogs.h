#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ports/dialogs.h"

namespace nms::testing {

// Dialogs that record what was shown and answer as a test told them to. A message box that the
// test did not announce with expect() fails the test (unless allowUnexpected is set, in which
// case it is answered with its default button).
class ScriptedDialogs : public ports::Dialogs {
public:
    struct Shown {
        ports::MessageBox box;
        ports::Answer answer;
    };

    // The next message box will be answered with `answer`; if `textContains` is given, its text
    // must contain it.
    void expect(ports::Answer answer, std::string textContains = {});
    // The next input box will be answered with `text` (nothing: Cancel).
    void expectInput(std::optional<std::string> text);
    // The next save dialog will be answered with `path` (nothing: Cancel).
    void expectSaveFile(std::optional<std::string> path);

    ports::Answer messageBox(const ports::MessageBox& box) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& proposed) override;
    std::optional<std::string> saveFileName(const SaveFile& request) override;

    const std::vector<Shown>& shown() const { return shown_; }
    // Texts of all boxes shown so far.
    std::vector<std::string> texts() const;
    const ports::MessageBox& last() const { return shown_.back().box; }
    void clearShown() { shown_.clear(); }
    // Every announced answer was used.
    bool allUsed() const { return answers_.empty() && inputs_.empty() && saveFiles_.empty(); }

    bool allowUnexpected = false;
    // Called while a box is "open", to let a test deliver events at that moment.
    std::function<void(const ports::MessageBox&)> whileOpen;

    struct InputShown {
        std::string prompt, title, proposed;
    };
    const std::vector<InputShown>& inputsShown() const { return inputsShown_; }
    const std::vector<SaveFile>& saveFilesShown() const { return saveFilesShown_; }

private:
    struct Expected {
        ports::Answer answer;
        std::string contains;
    };
    std::deque<Expected> answers_;
    std::deque<std::optional<std::string>> inputs_;
    std::vector<Shown> shown_;
    std::vector<InputShown> inputsShown_;
    std::deque<std::optional<std::string>> saveFiles_;
    std::vector<SaveFile> saveFilesShown_;
};

}  // namespace nms::testing
