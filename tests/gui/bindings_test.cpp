#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <malloc.h>

#include <map>
#include <memory>

#include "gui_support.h"
#include "ports/colors.h"
#include "ports/controls.h"
#include "ports/event_gate.h"
#include "ui/bindings.h"
#include "ui/level_bar.h"

namespace nms::testing {
namespace {

using ports::Origin;

class Binding : public ::testing::Test {
protected:
    ports::EventGate gate;
    std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
    template <class W, class... Args>
    W* make(Args&&... args) {
        return new W(std::forward<Args>(args)..., host.get());
    }
    // Runs `inside` as an event of its own; what the operator does meanwhile has to wait.
    void whileBusy(const std::function<void()>& inside) { gate.dispatch(ports::EventGate::Kind::Timer, inside); }
};

TEST_F(Binding, ColoursMapSystemEntriesToThePaletteAndOthersFromBlueGreenRed) {
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(1, 2, 3));
    palette.setColor(QPalette::Button, QColor(4, 5, 6));
    EXPECT_EQ(ui::colorOf(ports::kSystemWindowBackground, palette), QColor(1, 2, 3));
    EXPECT_EQ(ui::colorOf(ports::kSystemButtonFace, palette), QColor(4, 5, 6));
    EXPECT_EQ(ui::colorOf(ports::kLightRed, palette), QColor(255, 128, 128));
    EXPECT_EQ(ui::colorOf(ports::kLightYellow, palette), QColor(255, 255, 192));
    EXPECT_EQ(ui::colorOf(ports::rgb(0x12, 0x34, 0x56), palette), QColor(0x12, 0x34, 0x56));
}

TEST_F(Binding, LabelsAndFramesShowCaptionsStatesAndAmpersandsAsWritten) {
    ports::Label model{"lblCapVLANOM"};
    model.setCaption("O&M:");
    auto* label = make<QLabel>();
    ui::bind(label, model);
    EXPECT_EQ(label->text(), "O&M:");
    EXPECT_EQ(label->textFormat(), Qt::PlainText);

    model.setCaption("Übertragung <b>");  // UTF-8 in, shown as plain text
    model.setEnabled(false);
    model.setToolTip("tip");
    EXPECT_EQ(label->text(), QString::fromUtf8("Übertragung <b>"));
    EXPECT_FALSE(label->isEnabled());
    EXPECT_EQ(label->toolTip(), "tip");
    model.setVisible(false);
    EXPECT_TRUE(label->isHidden());

    ports::Label frameModel{"frmTreeView"};
    frameModel.setCaption("Select element: (3 items)");
    auto* frame = make<QGroupBox>();
    ui::bind(frame, frameModel);
    EXPECT_EQ(frame->title(), "Select element: (3 items)");
    frameModel.setCaption("A&B");
    EXPECT_EQ(frame->title(), "A&&B");  // no shortcut mark: shown as "A&B"

    ports::Label title{"frmMain"};
    ui::bindTitle(host.get(), title);
    title.setCaption("Vantrelo NG NMS v.3.7.8 - Kestrova Broadcast");
    EXPECT_EQ(host->windowTitle(), "Vantrelo NG NMS v.3.7.8 - Kestrova Broadcast");
}

TEST_F(Binding, TextBoxMirrorsProgramTextWithoutReportingItBack) {
    ports::TextBox model{"txtElementIP"};
    Changes changes;
    model.onChange = changes.recorder();
    auto* edit = make<QLineEdit>();
    ui::bind(edit, model, gate);
    model.setText("192.168.1.10");
    EXPECT_EQ(edit->text(), "192.168.1.10");
    ASSERT_EQ(changes.seen.size(), 1u);
    EXPECT_EQ(changes.seen[0], Origin::Program);

    model.setBackColor(ports::kLightRed);
    EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(255, 128, 128));
    model.setBackColor(ports::kSystemWindowBackground);
    EXPECT_EQ(edit->palette().color(QPalette::Base), host->palette().color(QPalette::Base));
}

TEST_F(Binding, TypingReachesTheModelOnceAsTheOperatorAndKeysUpAreReported) {
    ports::TextBox model{"txtAES67Channel"};
    Changes changes;
    model.onChange = changes.recorder();
    int keyUps = 0;
    model.onKeyUp = [&] { ++keyUps; };
    auto* edit = make<QLineEdit>();
    ui::bind(edit, model, gate);
    typeText(edit, "261");
    EXPECT_EQ(model.text(), "261");
    EXPECT_EQ(changes.seen, (std::vector<Origin>{Origin::Operator, Origin::Operator, Origin::Operator}));
    EXPECT_EQ(keyUps, 3);
    EXPECT_EQ(edit->cursorPosition(), 3);  // the cursor stays where typing left it
}

TEST_F(Binding, TheOperatorCannotTypeBeyondTheLimitButAProgramTextIsShownWhole) {
    ports::TextBox model{"txtElementName"};
    model.maxLength = 4;
    auto* edit = make<QLineEdit>();
    ui::bind(edit, model, gate);
    typeText(edit, "ABCDEF");
    EXPECT_EQ(model.text(), "ABCD");
    model.setText("LONGER NAME");
    EXPECT_EQ(edit->text(), "LONGER NAME");
    edit->end(false);
    typeText(edit, "X");
    EXPECT_EQ(model.text(), "LONGER NAME");
}

TEST_F(Binding, FocusEventsReachTheModelAndItsSelectionIsShown) {
    ports::TextBox model{"txtElementName"};
    model.setText("studio a");
    model.onGotFocus = [&] { model.setSelection(0, 8); };
    model.onLostFocus = [&] { model.setText("STUDIO A"); };
    auto* edit = make<QLineEdit>();
    ui::bind(edit, model, gate);

    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &in);
    EXPECT_TRUE(model.hasFocus());
    EXPECT_EQ(edit->selectedText(), "studio a");

    // Another window taking the focus is not leaving the box.
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(edit, &away);
    EXPECT_TRUE(model.hasFocus());

    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
    EXPECT_FALSE(model.hasFocus());
    EXPECT_EQ(edit->text(), "STUDIO A");
}

TEST_F(Binding, ListsMirrorItemsAndSelectionAndReportTheOperatorsChoice) {
    ports::ListControl model{"cmbAudioTX"};
    model.addItems({"Unicast", "Multicast"});
    Changes changes;
    model.onClick = changes.recorder();
    auto* combo = make<QComboBox>();
    ui::bind(combo, model, gate);
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), "Multicast");
    EXPECT_EQ(combo->itemData(1).toString(), "Multicast");  // each entry's data is its item
    EXPECT_EQ(combo->currentIndex(), -1);

    model.setListIndex(0);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(combo->currentText(), "Unicast");
    emit combo->activated(1);
    EXPECT_EQ(model.listIndex(), 1);
    EXPECT_EQ(changes.seen, (std::vector<Origin>{Origin::Program, Origin::Operator}));

    model.clear();
    model.addItem("<None>");
    EXPECT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->currentIndex(), -1);
}

TEST_F(Binding, AChoiceTheModelRefusesIsNotShown) {
    ports::ListControl model{"cmbAudioType"};
    model.addItems({"A", "B", "C"});
    model.setListIndex(0);
    // A rule that puts the list back, as the AES67 rules do with the TX list.
    model.onClick = [&](Origin origin) {
        if (origin == Origin::Operator) model.setListIndex(0);
    };
    auto* combo = make<QComboBox>();
    ui::bind(combo, model, gate);
    combo->setCurrentIndex(2);  // the widget moved under the operator's hand...
    emit combo->activated(2);   // ...and reported it
    EXPECT_EQ(model.listIndex(), 0);
    EXPECT_EQ(combo->currentIndex(), 0);
}

TEST_F(Binding, CheckBoxesMirrorAndReportClicks) {
    ports::CheckBox model{"chkLowLatency"};
    model.setCaption("Enabled");
    Changes changes;
    model.onClick = changes.recorder();
    auto* box = make<QCheckBox>();
    ui::bind(box, model, gate);
    EXPECT_EQ(box->text(), "Enabled");
    model.setValue(1);
    EXPECT_TRUE(box->isChecked());
    box->click();
    EXPECT_EQ(model.value(), 0);
    EXPECT_EQ(changes.seen, (std::vector<Origin>{Origin::Program, Origin::Operator}));
}

TEST_F(Binding, ScrollBarsReportEachStepAndADragOnlyWhenReleased) {
    ports::ScrollBar model{"scrlAtten"};
    model.setRange(14, 255);
    model.setValue(255);
    model.largeChange = 10;
    Changes changes;
    model.onChange = changes.recorder();
    int scrolls = 0;
    model.onScroll = [&] { ++scrolls; };
    auto* bar = make<QScrollBar>(Qt::Horizontal);
    ui::bind(bar, model, gate);
    EXPECT_EQ(bar->minimum(), 14);
    EXPECT_EQ(bar->maximum(), 255);
    EXPECT_EQ(bar->value(), 255);
    EXPECT_EQ(bar->pageStep(), 10);

    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(model.value(), 244);
    EXPECT_EQ(changes.seen, (std::vector<Origin>{Origin::Operator, Origin::Operator}));

    bar->setSliderDown(true);
    bar->setSliderPosition(100);
    bar->setSliderPosition(50);
    EXPECT_EQ(model.value(), 244);  // the thumb is still in the operator's hand
    EXPECT_EQ(scrolls, 2);
    bar->setSliderDown(false);
    EXPECT_EQ(model.value(), 50);
    EXPECT_EQ(changes.operatorCount(), 3u);

    changes.seen.clear();
    model.setValue(100);
    model.setRange(0, 23);
    EXPECT_EQ(bar->maximum(), 23);
    EXPECT_EQ(bar->value(), 23);
    EXPECT_EQ(changes.operatorCount(), 0u);
}

TEST_F(Binding, ButtonsShowCaptionColourAndStateAndClickThroughTheGate) {
    ports::Button model{"cmdPing"};
    model.setCaption("<Click to test>");
    model.setBackColor(ports::kLightYellow);
    int clicks = 0;
    model.onClick = [&] { ++clicks; };
    auto* button = make<QPushButton>();
    ui::bind(button, model, gate);
    EXPECT_EQ(button->text(), "<Click to test>");
    EXPECT_EQ(button->palette().color(QPalette::Button), QColor(255, 255, 192));
    EXPECT_EQ(button->palette().color(QPalette::ButtonText), QColor(Qt::black));

    whileBusy([&] {
        button->click();
        EXPECT_EQ(clicks, 0);  // not inside the event in progress
    });
    EXPECT_EQ(clicks, 1);

    model.setEnabled(false);
    EXPECT_FALSE(button->isEnabled());
    model.setBackColor(ports::kSystemButtonFace);
    EXPECT_EQ(button->palette().color(QPalette::Button), host->palette().color(QPalette::Button));
}

TEST_F(Binding, TheLevelBarShowsTheModelsWidthInPixels) {
    ports::ImageBar model{"VUMeter"};
    auto* bar = make<ui::LevelBar>();
    ui::bind(bar, model);
    EXPECT_EQ(bar->visibleWidth(), 0);
    model.setWidth(1500);
    EXPECT_EQ(bar->visibleWidth(), 100);
    model.setWidth(140 * 15 + 600);
    EXPECT_EQ(bar->visibleWidth(), 140);
    EXPECT_EQ(bar->size(), QSize(142, 18));
}

class TreeBinding : public Binding {
protected:
    ports::TreeView model{"TreeView1"};
    QTreeView* tree = nullptr;
    std::vector<std::string> clicked;
    std::vector<int> mouseUps;

    void SetUp() override {
        model.assign({{"00:AA:00:00:00:01", "D1 [00:AA:00:00:00:01]", 7, 7},
                      {"00:AA:00:00:00:02", "E1 [00:AA:00:00:00:02]", 6, 6},
                      {"00:AA:00:00:00:03", "E2 [00:AA:00:00:00:03]", 6, 6}});
        model.onNodeClick = [this](const ports::TreeView::Node& node) { clicked.push_back(node.key); };
        model.onMouseUp = [this](int button) { mouseUps.push_back(button); };
        tree = make<QTreeView>();
        ui::bind(tree, model, gate);
        host->resize(300, 200);
        host->show();
        tree->resize(300, 200);
    }
    QPoint centreOf(int row) { return tree->visualRect(tree->model()->index(row, 0)).center(); }
};

TEST_F(TreeBinding, NodesAreShownFlatInInsertionOrderWithTheirPictures) {
    ASSERT_EQ(tree->model()->rowCount(), 3);
    EXPECT_EQ(tree->model()->index(0, 0).data().toString(), "D1 [00:AA:00:00:00:01]");
    EXPECT_EQ(tree->model()->index(2, 0).data().toString(), "E2 [00:AA:00:00:00:03]");
    EXPECT_FALSE(tree->rootIsDecorated());
    EXPECT_FALSE(tree->isSortingEnabled());
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(tree->model()->index(i, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    // The encoder and decoder pictures differ.
    const QImage decoder = tree->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    const QImage encoder = tree->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    EXPECT_NE(decoder, encoder);
}

TEST_F(TreeBinding, ClickingANodeSelectsItOnceThroughTheModel) {
    click(tree->viewport(), centreOf(1));
    EXPECT_EQ(clicked, (std::vector<std::string>{"00:AA:00:00:00:02"}));
    EXPECT_EQ(mouseUps, (std::vector<int>{1}));
    EXPECT_EQ(model.selectedIndex(), 1);
    EXPECT_EQ(tree->currentIndex().row(), 1);

    // Clicking the selected node again loads it again, as a click on the station's tree does.
    click(tree->viewport(), centreOf(1));
    EXPECT_EQ(clicked.size(), 2u);

    // The keyboard moves the selection as clicks do.
    pressKey(tree, Qt::Key_Down);
    EXPECT_EQ(model.selectedIndex(), 2);
    EXPECT_EQ(clicked.back(), "00:AA:00:00:00:03");
}

TEST_F(TreeBinding, ARightClickSelectsNothingAndOpensNothing) {
    model.clickNode(0);
    clicked.clear();
    click(tree->viewport(), centreOf(2), Qt::RightButton);
    EXPECT_TRUE(clicked.empty());
    EXPECT_EQ(mouseUps, (std::vector<int>{2}));
    EXPECT_EQ(tree->currentIndex().row(), 0);
    EXPECT_EQ(tree->contextMenuPolicy(), Qt::NoContextMenu);
}

TEST_F(TreeBinding, SelectionFollowsTheModelAndIsLostOnARebuild) {
    model.clickNode(2);
    EXPECT_TRUE(tree->selectionModel()->isSelected(tree->model()->index(2, 0)));
    clicked.clear();
    model.assign({{"00:AA:00:00:00:09", "NEW [00:AA:00:00:00:09]", 6, 6}});
    ASSERT_EQ(tree->model()->rowCount(), 1);
    EXPECT_TRUE(tree->selectionModel()->selectedIndexes().isEmpty());
    EXPECT_TRUE(clicked.empty());  // mirroring never reads as a click
    model.clear();
    EXPECT_EQ(tree->model()->rowCount(), 0);
}

// A plant of thousands: the column values are read for the rows the view shows, not for every
// row, yet every row gives its value when asked, and the selected row follows a changed record.
TEST_F(Binding, ALargeTreeReadsItsColumnsOnlyForTheRowsItShows) {
    ports::TreeView big{"TreeView1"};
    std::vector<ports::TreeView::Node> nodes;
    for (int i = 0; i < 5000; ++i) {
        const std::string mac = "00:AA:00:00:" + std::to_string(10 + i / 100) + ":" + std::to_string(10 + i % 100);
        nodes.push_back({mac, "E" + std::to_string(i) + " [" + mac + "]", 6, 6});
    }
    big.assign(std::move(nodes));
    std::map<std::string, QString> ips;
    int reads = 0;
    auto* tree = make<QTreeView>();
    ui::TreeColumns columns;
    columns.headers = {"Element", "IP address"};
    columns.values = [&](const ports::TreeView::Node& node) {
        ++reads;
        auto it = ips.find(node.key);
        return QStringList{it == ips.end() ? QString("10.0.0.1") : it->second};
    };
    columns.widest = {"255.255.255.255"};
    ui::bind(tree, big, gate, std::move(columns));
    host->resize(400, 300);
    host->show();
    tree->resize(400, 300);
    QApplication::processEvents();
    ASSERT_EQ(tree->model()->rowCount(), 5000);
    EXPECT_LT(reads, 500) << "every row's values were made";
    EXPECT_GE(tree->columnWidth(1), tree->fontMetrics().horizontalAdvance("255.255.255.255"));
    EXPECT_EQ(tree->model()->index(4999, 1).data().toString(), "10.0.0.1");
    EXPECT_EQ(tree->model()->index(4999, 0).data().toString(), "E4999 [00:AA:00:00:59:109]");

    // A saved address shows on the selected row without a rebuild.
    big.clickNode(4999);
    ips[big.nodes()[4999].key] = "10.9.9.9";
    big.clickNode(4999);
    EXPECT_EQ(tree->model()->index(4999, 1).data().toString(), "10.9.9.9");
    EXPECT_EQ(tree->currentIndex().row(), 4999);
}

// The view reads the tree control's nodes where they are: a plant of twenty thousand costs the
// view's own bookkeeping of its rows, not a copy of each node or an item object per row.
TEST_F(Binding, ATreeShowsItsNodesWithoutACopyOrAnItemPerNode) {
    constexpr int kNodes = 20000;
    ports::TreeView big{"TreeView1"};
    std::vector<ports::TreeView::Node> nodes;
    for (int i = 0; i < kNodes; ++i) {
        const std::string mac = "00:AA:00:" + std::to_string(10 + i / 10000) + ":" + std::to_string(10 + i / 100 % 100) +
                                ":" + std::to_string(10 + i % 100);
        nodes.push_back({mac, "ELEMENT " + std::to_string(i) + " [" + mac + "]", 6, 6});
    }
    big.assign(std::move(nodes));
    host->resize(400, 300);
    host->show();
    QApplication::processEvents();
    const std::size_t before = ::mallinfo2().uordblks;
    auto* tree = make<QTreeView>();
    ui::bind(tree, big, gate);
    tree->resize(400, 300);
    tree->show();
    QApplication::processEvents();
    const std::size_t after = ::mallinfo2().uordblks;
    ASSERT_EQ(tree->model()->rowCount(), kNodes);
    EXPECT_EQ(tree->model()->index(kNodes - 1, 0).data().toString(), "ELEMENT 19999 [00:AA:00:11:109:109]");
    EXPECT_LT(static_cast<double>(after > before ? after - before : 0) / kNodes, 100.0) << "bytes per node";
}

TEST_F(Binding, TheToolbarShowsItsItemsAndReportsClicksByIndex) {
    ports::Toolbar model{"Toolbar1"};
    using K = ports::Toolbar::Kind;
    model.setItems({{K::Button, 1, "Discover elements"},
                    {K::Button, 2, "Refresh list"},
                    {K::Separator, 0, "", true},
                    {K::Button, 3, "Save changes"},
                    {K::Separator, 0, "", true},
                    {K::Button, 4, "Start audio monitoring", false},
                    {K::Button, 5, "Stop audio monitoring", false}});
    std::vector<int> clicks;
    model.onButtonClick = [&](int index) { clicks.push_back(index); };
    auto* toolbar = make<QToolBar>();
    toolbar->addWidget(new QLabel("after"));
    ui::bind(toolbar, model, gate);

    const auto actions = toolbar->actions();
    ASSERT_EQ(actions.size(), 8);  // seven items, then what the window added
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_TRUE(actions[4]->isSeparator());
    EXPECT_EQ(actions[0]->toolTip(), "Discover elements");
    EXPECT_EQ(actions[6]->toolTip(), "Stop audio monitoring");
    EXPECT_FALSE(actions[0]->icon().isNull());
    EXPECT_FALSE(actions[5]->isEnabled());

    actions[3]->trigger();
    EXPECT_EQ(clicks, (std::vector<int>{4}));
    model.setButtonEnabled(6, true);
    EXPECT_TRUE(actions[5]->isEnabled());
    actions[5]->trigger();
    actions[6]->trigger();  // disabled: nothing
    EXPECT_EQ(clicks, (std::vector<int>{4, 6}));
}

TEST_F(Binding, AWidgetThatIsGoneNoLongerHearsItsModel) {
    ports::Label model{"Label7"};
    auto* label = make<QLabel>();
    ui::bind(label, model);
    delete label;
    model.setCaption("Multicast IP:");  // no widget to reach, no crash
    EXPECT_EQ(model.caption(), "Multicast IP:");
}

}  // namespace
}  // namespace nms::testing
