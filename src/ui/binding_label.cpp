#include "ui/binding.h"

namespace nms::ui {
namespace {

using namespace detail;

class LabelBinding : public Binding {
public:
    LabelBinding(QLabel* label, ports::Label& model)
        : Binding(label, model), label_(label), model_(model) {
        label_->setTextFormat(Qt::PlainText);
        mirror();
    }

protected:
    void mirrorState() override {
        // With a buddy, an ampersand marks the access key; without one it is shown as written.
        const QString caption = fromModel(model_.caption());
        label_->setText(label_->buddy() ? withAccessKey(caption, accessKeyOf(label_)) : caption);
        label_->setAutoFillBackground(model_.backColor() != ports::kSystemButtonFace);
        applyColor(QPalette::Window, QPalette::WindowText, ports::kSystemButtonFace);
    }

private:
    QLabel* label_;
    ports::Label& model_;
};

class FrameBinding : public Binding {
public:
    FrameBinding(QGroupBox* box, ports::Label& model)
        : Binding(box, model), box_(box), model_(model) {
        mirror();
    }

protected:
    void mirrorState() override {
        box_->setTitle(withAccessKey(fromModel(model_.caption()), accessKeyOf(box_)));
    }

private:
    QGroupBox* box_;
    ports::Label& model_;
};
// A window title: only the caption is mirrored; the window's visibility is its own.
class TitleBinding : public QObject {
public:
    TitleBinding(QWidget* window, ports::Label& model)
        : QObject(window), window_(window), model_(model) {
        QPointer<TitleBinding> self(this);
        model_.onViewChanged = [self] {
            if (self) self->mirror();
        };
        mirror();
    }
    void mirror() { window_->setWindowTitle(fromModel(model_.caption())); }

private:
    QWidget* window_;
    ports::Label& model_;
};

}  // namespace

void bind(QLabel* widget, ports::Label& model) {
    new LabelBinding(widget, model);
}
void bind(QGroupBox* widget, ports::Label& model) {
    new FrameBinding(widget, model);
}
void bindTitle(QWidget* window, ports::Label& model) {
    new TitleBinding(window, model);
}

void setAccessKey(QLabel* caption, QChar key, QWidget* buddy) {
    caption->setProperty(kAccessKeyProperty, key);
    caption->setBuddy(buddy);
    for (QObject* child : caption->children()) {
        if (auto* binding = dynamic_cast<LabelBinding*>(child)) binding->mirror();
    }
}

void setAccessKey(QGroupBox* frame, QChar key) {
    frame->setProperty(kAccessKeyProperty, key);
    for (QObject* child : frame->children()) {
        if (auto* binding = dynamic_cast<FrameBinding*>(child)) binding->mirror();
    }
}

}  // namespace nms::ui
