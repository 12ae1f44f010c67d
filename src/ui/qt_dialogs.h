#pragma once

#include "ports/dialogs.h"

class QWidget;

namespace nms::ui {

// Message and input boxes as Qt dialogs, modal over the window the operator is working in.
class QtDialogs : public ports::Dialogs {
public:
    ports::Answer messageBox(const ports::MessageBox& box) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& proposed) override;
    std::optional<std::string> saveFileName(const SaveFile& request) override;

    // The parent of the next box: the active window, else the fallback (the main window).
    void setFallbackParent(QWidget* parent) { fallback_ = parent; }

private:
    QWidget* parent() const;
    QWidget* fallback_ = nullptr;
};

}  // namespace nms::ui
