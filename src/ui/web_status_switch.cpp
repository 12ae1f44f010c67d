#include "ui/web_status_switch.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

#include "runtime/web_status.h"
#include "station/settings_keys.h"
#include "station/station_context.h"

namespace nms::ui {

namespace keys = station::settings;

WebStatusSwitch::WebStatusSwitch(QMainWindow& window, runtime::WebStatus& web,
                                 station::StationContext& context, std::string version,
                                 bool simulated)
    : QObject(nullptr),
      window_(window),
      web_(web),
      context_(context),
      version_(std::move(version)),
      simulated_(simulated) {
    askAddress = [this](const QString& remembered) {
        bool ok = false;
        const QString text = QInputDialog::getText(
            &window_, tr("Web status"),
            tr("Address and port to serve the plant on (127.0.0.1 serves this computer only):"),
            QLineEdit::Normal, remembered, &ok);
        return ok ? text.trimmed() : QString();
    };
    for (QAction* a : window.findChildren<QAction*>(QStringLiteral("actionWebStatus"))) item_ = a;
    if (!item_) return;
    item_->setEnabled(true);
    connect(item_, &QAction::triggered, this, [this](bool on) { turn(on, false); });
    where_ = new QLabel(&window);
    where_->setObjectName(QStringLiteral("lblWebStatus"));
    where_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    window.statusBar()->addPermanentWidget(where_);
    where_->hide();
    if (context_.setting(keys::kWebStatus) == "1") turn(true, true);
}

void WebStatusSwitch::turn(bool on, bool asked) {
    if (!on) {
        web_.stop();
        context_.setSetting(keys::kWebStatus, "0");
        where_->hide();
        item_->setChecked(false);
        return;
    }
    QString address = QString::fromStdString(context_.setting(keys::kWebStatusAddress));
    if (!asked) {
        address = askAddress(address);
        if (address.isEmpty()) {
            item_->setChecked(web_.running());
            return;
        }
    }
    runtime::WebStatus::Options o;
    o.listen = address.toStdString();
    o.version = version_;
    o.simulated = simulated_;
    const std::string problem = web_.start(o);
    if (!problem.empty()) {
        item_->setChecked(false);
        where_->hide();
        say(tr("The web status cannot start: %1").arg(QString::fromStdString(problem)));
        return;
    }
    context_.setSetting(keys::kWebStatusAddress, address.toStdString());
    context_.setSetting(keys::kWebStatus, "1");
    item_->setChecked(true);
    where_->setText(tr("Web status: %1").arg(QString::fromStdString(web_.url())));
    where_->show();
}

void WebStatusSwitch::say(const QString& text) {
    // Said where it happened: in the status bar, and in a box when the operator asked for it.
    window_.statusBar()->showMessage(text, 10000);
    if (!window_.isVisible()) return;
    // The reason may name a certificate's or a key's file: shown as written.
    QMessageBox box(QMessageBox::Warning, tr("Web status"), text, QMessageBox::Ok, &window_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace nms::ui
