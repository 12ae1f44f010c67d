#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ports/dialogs.h"

namespace nms::cli {

// Dialogs for the command-line tool: every message goes to standard error with its text; a
// question is answered Yes only when the operator said so beforehand (--yes).
class ConsoleDialogs : public ports::Dialogs {
public:
    explicit ConsoleDialogs(bool answerYes, bool verbose = true)
        : yes_(answerYes), verbose_(verbose) {}
    ports::Answer messageBox(const ports::MessageBox& box) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& proposed) override;
    int questionsRefused() const { return refused_; }
    // Every box said so far, in order, as the operator would have read it.
    const std::vector<ports::MessageBox>& said() const { return said_; }

private:
    bool yes_;
    bool verbose_;
    int refused_ = 0;
    std::vector<ports::MessageBox> said_;
};

}  // namespace nms::cli
