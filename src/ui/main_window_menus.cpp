// The main window's menu bar: the toolbar's actions and the panel's buttons again, with their
// shortcuts, and the help. Every item does exactly what its button does and is enabled when the
// button is, so the station's flows stay as they are.

#include <QAbstractButton>
#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>

#include "platform/qt_text.h"
#include "station/main_toolbar.h"
#include "ui/bindings.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "ui/plant_windows.h"
#include "ui/window_layout.h"

namespace nms::ui {
namespace {

// Keeps a menu item's enabled state on its button's: enabled, and shown, in the window.
class FollowButton : public QObject {
public:
    FollowButton(QAction* item, QAbstractButton* button)
        : QObject(item), item_(item), button_(button) {
        button_->installEventFilter(this);
        update();
        connect(item_, &QAction::triggered, button_, [button = button_] {
            if (button->isEnabled() && button->isVisibleTo(button->window())) button->click();
        });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::EnabledChange:
            case QEvent::ShowToParent:
            case QEvent::HideToParent:
                update();
                break;
            default:
                break;
        }
        return false;
    }

private:
    void update() { item_->setEnabled(button_->isEnabled() && !button_->isHidden()); }
    QAction* item_;
    QAbstractButton* button_;
};

// The same for a toolbar action.
void followAction(QAction* item, QAction* source) {
    item->setEnabled(source->isEnabled());
    QObject::connect(source, &QAction::changed, item,
                     [item, source] { item->setEnabled(source->isEnabled()); });
    QObject::connect(item, &QAction::triggered, source, [source] {
        if (source->isEnabled()) source->trigger();
    });
}

}  // namespace

void MainWindow::buildMenus(const Model& model) {
    auto* bar = menuBar();
    auto make = [this](QMenu* menu, const char* name, const QString& text,
                       const QKeySequence& shortcut = {}) {
        auto* item = menu->addAction(text);
        item->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty()) item->setShortcut(shortcut);
        // A shortcut of the window, not only of the open menu.
        item->setShortcutContext(Qt::WindowShortcut);
        addAction(item);
        return item;
    };
    // The toolbar's buttons by the station's numbers; a menu item takes its text from the
    // button's tool tip, with an access key.
    const auto toolbarActions = toolbar_ ? toolbar_->actions() : QList<QAction*>{};
    auto fromToolbar = [&](QMenu* menu, const char* name, int index, char key,
                           const QKeySequence& shortcut) {
        const auto& items = model.Toolbar1.items();
        const QString tip = index >= 1 && index <= static_cast<int>(items.size())
                                ? platform::fromModel(model.Toolbar1.button(index).toolTip)
                                : QString();
        auto* item = make(menu, name, withAccessKey(tip, QLatin1Char(key)), shortcut);
        if (index - 1 < toolbarActions.size()) followAction(item, toolbarActions[index - 1]);
        return item;
    };
    auto fromButton = [&](QMenu* menu, const char* name, const QString& text,
                          const char* buttonName) {
        auto* item = make(menu, name, text);
        if (auto* button = findChild<QAbstractButton*>(QLatin1String(buttonName))) {
            new FollowButton(item, button);
        } else {
            item->setEnabled(false);
        }
        return item;
    };
    namespace tb = station::toolbar;

    QMenu* station = bar->addMenu(tr("&Station"));
    station->setObjectName(QStringLiteral("menuStation"));
    fromToolbar(station, "actionDiscover", tb::kDiscover, 'd', QKeySequence(Qt::CTRL | Qt::Key_D));
    fromToolbar(station, "actionRefresh", tb::kRefresh, 'r', QKeySequence(Qt::Key_F5));
    station->addSeparator();
    // The whole plant's operations; without them (a window on a bare model) the items are off.
    auto plantItem = [&](QMenu* menu, const char* name, const QString& text,
                         void (PlantWindows::*operation)()) {
        auto* item = make(menu, name, text);
        item->setEnabled(plant_ != nullptr);
        if (plant_) connect(item, &QAction::triggered, plant_, operation);
        return item;
    };
    plantItem(station, "actionSfnOverview", tr("SFN &overview..."),
              &PlantWindows::showSfnOverview);
    plantItem(station, "actionExportPlant", tr("E&xport plant..."), &PlantWindows::exportPlant);
    plantItem(station, "actionImportPlant", tr("&Import plant..."), &PlantWindows::importPlant);
    // The monitor's web service: checkable, taken up by a WebStatusSwitch (off without one).
    auto* web = make(station, "actionWebStatus", tr("&Web status"));
    web->setCheckable(true);
    web->setEnabled(false);
    station->addSeparator();
    auto* quit = make(station, "actionQuit", tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* element = bar->addMenu(tr("&Element"));
    element->setObjectName(QStringLiteral("menuElement"));
    fromToolbar(element, "actionSave", tb::kSave, 's', QKeySequence(Qt::CTRL | Qt::Key_S));
    element->addSeparator();
    fromButton(element, "actionPing", tr("&Ping"), "cmdPing");
    fromButton(element, "actionStatistics", tr("S&tatistics..."), "cmdGetStats");
    fromButton(element, "actionAdjust", tr("SFN &adjustment..."), "cmdAdjust");
    plantItem(element, "actionApplySettingsFrom", tr("Apply settings &from..."),
              &PlantWindows::applySettingsFrom);
    element->addSeparator();
    // One key starts and stops: only one of the two is ever enabled.
    fromToolbar(element, "actionStartMonitoring", tb::kStartMonitoring, 'm',
                QKeySequence(Qt::CTRL | Qt::Key_M));
    fromToolbar(element, "actionStopMonitoring", tb::kStopMonitoring, 'o',
                QKeySequence(Qt::CTRL | Qt::Key_M));

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    auto* contents = make(help, "actionHelp", tr("&Contents"), QKeySequence(Qt::Key_F1));
    connect(contents, &QAction::triggered, this, &MainWindow::showHelp);
    auto* about = make(help, "actionAbout", tr("&About"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
}

QAction* MainWindow::menuAction(const QString& name) const {
    for (QAction* action : actions()) {
        if (action->objectName() == name) return action;
    }
    return nullptr;
}

void MainWindow::showHelp() {
    if (!help_) {
        help_ = new HelpWindow(this);
        if (layout_) {
            layout_->restore(help_->objectName(), help_);
            connect(help_, &QDialog::finished, this,
                    [this] { layout_->save(help_->objectName(), help_); });
        }
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void MainWindow::showAbout() {
    delete aboutDialog_;
    aboutDialog_ = new AboutDialog(about_, this);
    aboutDialog_->setAttribute(Qt::WA_DeleteOnClose, false);
    aboutDialog_->open();
}

}  // namespace nms::ui
