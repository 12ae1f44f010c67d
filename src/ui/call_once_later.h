#pragma once

#include <QObject>
#include <QTimer>

#include <utility>

namespace nms::ui {

// A call made once on the event loop however often it is asked for before then: a burst of
// replies or edits draws once, after the last of them.
class CallOnceLater {
public:
    // `call` runs on the event loop unless it is already due; `owner` holds this and ends
    // the call should it go first.
    template <class Call>
    void ask(QObject* owner, Call call) {
        if (due_) return;
        due_ = true;
        QTimer::singleShot(0, owner, [this, call = std::move(call)] {
            due_ = false;
            call();
        });
    }

private:
    bool due_ = false;
};

}  // namespace nms::ui
