// The main window's menu bar: the toolbar's actions and the panel's buttons again, with their
// shortcuts, and the help. Every item does exactly what its button does and is enabled when the
// button is, so the station's flows stay as they are.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
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

// F1 in any window of the station opens the help at that window's section. The main window's
// own F1 is the Help menu's shortcut; this catches the key in the windows over it (statistics,
// SFN, the SFN overview, the dialogs, the help itself), even one that is modal, where the menu's
// shortcut does not reach. One listener, so that no window needs to know of the help.
class HelpKey : public QObject {
public:
    explicit HelpKey(MainWindow* window) : QObject(window), window_(window) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (!ofThisStation(widget)) return false;
        window_->showHelpFor(widget);
        return true;
    }

private:
    // A widget of this window, of a window over it, or of its help: another station's window
    // in the same program (as in tests) answers its own.
    bool ofThisStation(const QWidget* widget) const {
        if (window_->helpWindow() && widget->window() == window_->helpWindow()) return true;
        for (const QWidget* w = widget; w; w = w->parentWidget()) {
            if (w == window_) return true;
        }
        return false;
    }
    MainWindow* window_;
};

}  // namespace

// Makes the menu bar's items: each a shortcut of the window, most of them following a toolbar
// button, a panel button or a plant operation.
class MainWindow::MenuItems {
public:
    MenuItems(MainWindow& window, const Model& model)
        : window_(window),
          model_(model),
          toolbarActions_(window.toolbar_ ? window.toolbar_->actions() : QList<QAction*>{}) {}

    QAction* make(QMenu* menu, const char* name, const QString& text,
                  const QKeySequence& shortcut = {}) {
        auto* item = menu->addAction(text);
        item->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty()) item->setShortcut(shortcut);
        // A shortcut of the window, not only of the open menu.
        item->setShortcutContext(Qt::WindowShortcut);
        window_.addAction(item);
        return item;
    }
    // The toolbar's buttons by the station's numbers; a menu item takes its text from the
    // button's tool tip, with an access key.
    QAction* fromToolbar(QMenu* menu, const char* name, int index, char key,
                         const QKeySequence& shortcut) {
        const auto& items = model_.Toolbar1.items();
        const QString tip = index >= 1 && index <= static_cast<int>(items.size())
                                ? platform::fromModel(model_.Toolbar1.button(index).toolTip)
                                : QString();
        auto* item = make(menu, name, withAccessKey(tip, QLatin1Char(key)), shortcut);
        if (index - 1 < toolbarActions_.size()) followAction(item, toolbarActions_[index - 1]);
        return item;
    }
    QAction* fromButton(QMenu* menu, const char* name, const QString& text,
                        const char* buttonName) {
        auto* item = make(menu, name, text);
        if (auto* button = window_.findChild<QAbstractButton*>(QLatin1String(buttonName))) {
            new FollowButton(item, button);
        } else {
            item->setEnabled(false);
        }
        return item;
    }
    // The whole plant's operations; without them (a window on a bare model) the items are off.
    QAction* plantItem(QMenu* menu, const char* name, const QString& text,
                       void (PlantWindows::*operation)()) {
        auto* item = make(menu, name, text);
        item->setEnabled(window_.plant_ != nullptr);
        if (window_.plant_) QObject::connect(item, &QAction::triggered, window_.plant_, operation);
        return item;
    }

private:
    MainWindow& window_;
    const Model& model_;
    const QList<QAction*> toolbarActions_;
};

void MainWindow::buildMenus(const Model& model) {
    auto* bar = menuBar();
    MenuItems items(*this, model);
    buildStationMenu(bar, items);
    buildElementMenu(bar, items);
    buildHelpMenu(bar, items);
}

// Discovery and refresh, the plant's operations, the web status and Quit.
void MainWindow::buildStationMenu(QMenuBar* bar, MenuItems& items) {
    namespace tb = station::toolbar;
    QMenu* station = bar->addMenu(tr("&Station"));
    station->setObjectName(QStringLiteral("menuStation"));
    items.fromToolbar(station, "actionDiscover", tb::kDiscover, 'd',
                      QKeySequence(Qt::CTRL | Qt::Key_D));
    items.fromToolbar(station, "actionRefresh", tb::kRefresh, 'r', QKeySequence(Qt::Key_F5));
    station->addSeparator();
    items.plantItem(station, "actionSites", tr("S&ites..."), &PlantWindows::showSites);
    items.plantItem(station, "actionScanSites", tr("Scan si&tes..."), &PlantWindows::scanAllSites);
    station->addSeparator();
    items.plantItem(station, "actionSfnOverview", tr("SFN &overview..."),
                    &PlantWindows::showSfnOverview);
    items.plantItem(station, "actionExportPlant", tr("E&xport plant..."),
                    &PlantWindows::exportPlant);
    items.plantItem(station, "actionImportPlant", tr("&Import plant..."),
                    &PlantWindows::importPlant);
    // The monitor's web service: checkable, taken up by a WebStatusSwitch (off without one).
    auto* web = items.make(station, "actionWebStatus", tr("&Web status"));
    web->setCheckable(true);
    web->setEnabled(false);
    station->addSeparator();
    auto* quit = items.make(station, "actionQuit", tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);
}

// The shown element: save, the diagnostics, settings from another record, monitoring.
void MainWindow::buildElementMenu(QMenuBar* bar, MenuItems& items) {
    namespace tb = station::toolbar;
    QMenu* element = bar->addMenu(tr("&Element"));
    element->setObjectName(QStringLiteral("menuElement"));
    items.fromToolbar(element, "actionSave", tb::kSave, 's', QKeySequence(Qt::CTRL | Qt::Key_S));
    element->addSeparator();
    items.fromButton(element, "actionPing", tr("&Ping"), "cmdPing");
    items.fromButton(element, "actionStatistics", tr("S&tatistics..."), "cmdGetStats");
    items.fromButton(element, "actionAdjust", tr("SFN &adjustment..."), "cmdAdjust");
    items.plantItem(element, "actionApplySettingsFrom", tr("Apply settings &from..."),
                    &PlantWindows::applySettingsFrom);
    element->addSeparator();
    // One key starts and stops: only one of the two is ever enabled.
    items.fromToolbar(element, "actionStartMonitoring", tb::kStartMonitoring, 'm',
                      QKeySequence(Qt::CTRL | Qt::Key_M));
    items.fromToolbar(element, "actionStopMonitoring", tb::kStopMonitoring, 'o',
                      QKeySequence(Qt::CTRL | Qt::Key_M));
}

void MainWindow::buildHelpMenu(QMenuBar* bar, MenuItems& items) {
    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    auto* contents = items.make(help, "actionHelp", tr("&Contents"), QKeySequence(Qt::Key_F1));
    connect(contents, &QAction::triggered, this, &MainWindow::showHelp);
    new HelpKey(this);
    auto* about = items.make(help, "actionAbout", tr("&About"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
}

QAction* MainWindow::menuAction(const QString& name) const {
    for (QAction* action : actions()) {
        if (action->objectName() == name) return action;
    }
    return nullptr;
}

void MainWindow::showHelp() {
    showHelpFor(QApplication::focusWidget());
}

void MainWindow::showHelpFor(const QWidget* focus) {
    const QString heading = HelpWindow::headingFor(focus);
    if (!help_) {
        help_ = std::make_unique<HelpWindow>();
        if (layout_) {
            layout_->restore(help_->objectName(), help_.get());
            connect(help_.get(), &QDialog::finished, this,
                    [this] { layout_->save(help_->objectName(), help_.get()); });
        }
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
    // Laid out at its width once shown: only then can the heading be put at the top.
    if (!heading.isEmpty()) help_->showSection(heading);
}

void MainWindow::showAbout() {
    delete aboutDialog_;
    aboutDialog_ = new AboutDialog(about_, this);
    aboutDialog_->setAttribute(Qt::WA_DeleteOnClose, false);
    aboutDialog_->open();
}

}  // namespace nms::ui
