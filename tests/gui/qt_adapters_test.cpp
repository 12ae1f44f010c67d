#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "ui/qt_dialogs.h"
#include "platform/qt_instance_lock.h"
#include "platform/qt_lifecycle.h"
#include "platform/qt_scheduler.h"
#include "platform/qt_settings.h"

namespace nms::testing {
namespace {

// Runs the event loop until `done` or a second has passed.
template <class Pred>
bool spinUntil(Pred done, int limitMs = 1000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

TEST(QtSchedulerTest, TasksRunFromTheEventLoopInTheirOrderAndCancelledOnesNever) {
    platform::QtScheduler scheduler;
    std::vector<int> ran;
    // Far behind the others, so that a loaded machine's late event loop cannot reorder them.
    scheduler.callAfter(300, [&] { ran.push_back(3); });
    scheduler.callAfter(0, [&] { ran.push_back(1); });
    const auto cancelled = scheduler.callAfter(10, [&] { ran.push_back(99); });
    scheduler.callAfter(15, [&] {
        ran.push_back(2);
        // A task may schedule another; it runs later, not now.
        scheduler.callAfter(0, [&] { ran.push_back(4); });
        EXPECT_EQ(ran.back(), 2);
    });
    EXPECT_TRUE(ran.empty());  // never inside callAfter
    scheduler.cancel(cancelled);
    scheduler.cancel(12345);  // unknown: harmless
    ASSERT_TRUE(spinUntil([&] { return ran.size() == 4; }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 4, 3}));
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST(QtSchedulerTest, TheClockIsMonotonicAndMeasuresMilliseconds) {
    platform::QtScheduler scheduler;
    const auto start = scheduler.monotonicMs();
    bool done = false;
    scheduler.callAfter(50, [&] { done = true; });
    ASSERT_TRUE(spinUntil([&] { return done; }));
    const auto elapsed = scheduler.monotonicMs() - start;
    EXPECT_GE(elapsed, 45);
    EXPECT_LT(elapsed, 900);
}

TEST(QtSettingsTest, ValuesRoundTripPerApplicationAndSection) {
    QTemporaryDir dir;
    platform::QtSettings settings(dir.path());
    EXPECT_FALSE(settings.get("Kestrova", "Vantrelo NG", "NMS IP Address"));
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "ScanTimeout", "6"), "6");

    settings.set("Kestrova", "Vantrelo NG", "NMS IP Address", "192.168.1.10");
    settings.set("Kestrova", "Vantrelo", "AutoClearCounters", "1");
    settings.set("Kestrova", "Vantrelo NG", "Odd", "3, 4");
    EXPECT_EQ(settings.get("Kestrova", "Vantrelo NG", "NMS IP Address"), "192.168.1.10");
    EXPECT_EQ(settings.get("Kestrova", "Vantrelo", "AutoClearCounters"), "1");
    EXPECT_FALSE(settings.get("Kestrova", "Vantrelo", "NMS IP Address"));  // sections are apart
    EXPECT_EQ(settings.get("Kestrova", "Vantrelo NG", "Odd"), "3, 4");

    // Written at once to one INI file for the application, readable by anyone.
    const QString file = settings.fileOf("Kestrova");
    EXPECT_EQ(file, dir.path() + "/Kestrova.ini");
    QSettings reader(file, QSettings::IniFormat);
    EXPECT_EQ(reader.value("Vantrelo NG/NMS IP Address").toString(), "192.168.1.10");
    EXPECT_FALSE(QFile::exists(dir.path() + "/Other.ini"));

    // A fresh store on the same folder (the next start) sees it.
    platform::QtSettings again(dir.path());
    EXPECT_EQ(again.get("Kestrova", "Vantrelo NG", "NMS IP Address"), "192.168.1.10");
}

TEST(QtInstanceLockTest, OneHolderAtATimeAndReleaseLetsTheNextIn) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/run/vantrelo-nms.lock";
    platform::QtInstanceLock first(path), second(path);
    EXPECT_TRUE(first.tryAcquire());
    EXPECT_TRUE(first.tryAcquire());  // already held
    EXPECT_FALSE(second.tryAcquire());
    first.release();
    EXPECT_TRUE(second.tryAcquire());
}

TEST(QtInstanceLockTest, ALockLeftByACrashedInstanceDoesNotKeepTheNextOneOut) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/vantrelo-nms.lock";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::QtInstanceLock lock(path);
        const bool held = lock.tryAcquire();
        _exit(held ? 0 : 1);  // gone without releasing it, as a crash would
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(QFile::exists(path));

    platform::QtInstanceLock next(path);
    EXPECT_TRUE(next.tryAcquire());
}

TEST(QtLifecycleTest, TheFirstStatusAskedForIsWhatTheProgramReturns) {
    platform::QtLifecycle lifecycle;
    EXPECT_EQ(lifecycle.finalStatus(0), 0);
    lifecycle.exitProgram(2);  // before the loop runs, as during start-up
    lifecycle.exitProgram(0);
    EXPECT_EQ(lifecycle.requestedStatus(), 2);
    EXPECT_EQ(QApplication::exec(), 2);
    EXPECT_EQ(lifecycle.finalStatus(0), 2);
}

// Answers the box that the next dialog call opens.
void whenOpen(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        act(box);
    });
}

TEST(QtDialogsTest, AMessageBoxShowsItsLinesIconTitleAndDefaultAndReturnsTheChoice) {
    ui::QtDialogs dialogs;
    ports::MessageBox box{"Performing an 'Auto Discovery'...\rAre you sure?", "Auto Discovery",
                          ports::MessageIcon::Question, ports::MessageButtons::YesNo, ports::Answer::No};
    whenOpen([](QWidget* w) {
        auto* message = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->text(), "Performing an 'Auto Discovery'...\nAre you sure?");
        EXPECT_EQ(message->windowTitle(), "Auto Discovery");
        EXPECT_EQ(message->icon(), QMessageBox::Question);
        EXPECT_EQ(message->textFormat(), Qt::PlainText);
        EXPECT_EQ(message->defaultButton(), message->button(QMessageBox::No));
        message->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(dialogs.messageBox(box), ports::Answer::Yes);

    whenOpen([](QWidget* w) { qobject_cast<QMessageBox*>(w)->reject(); });  // Escape
    EXPECT_EQ(dialogs.messageBox(box), ports::Answer::No);

    ports::MessageBox error{"102 - Unable to use UDP port 2976: busy", "Kestrova Vantrelo NG Manager",
                            ports::MessageIcon::Critical, ports::MessageButtons::Ok, ports::Answer::Ok};
    whenOpen([](QWidget* w) {
        auto* message = qobject_cast<QMessageBox*>(w);
        EXPECT_EQ(message->icon(), QMessageBox::Critical);
        EXPECT_EQ(message->buttons().size(), 1);
        message->reject();
    });
    EXPECT_EQ(dialogs.messageBox(error), ports::Answer::Ok);
}

TEST(QtDialogsTest, TheInputBoxProposesATextAndCancelGivesNothing) {
    ui::QtDialogs dialogs;
    whenOpen([](QWidget* w) {
        auto* input = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->windowTitle(), "Set scanning timeout");
        EXPECT_EQ(input->labelText(), "Enter timeout in seconds, from 3 to 15:");
        EXPECT_EQ(input->textValue(), "6");
        input->setTextValue("10");
        input->accept();
    });
    EXPECT_EQ(dialogs.inputBox("Enter timeout in seconds, from 3 to 15:", "Set scanning timeout", "6"), "10");
    whenOpen([](QWidget* w) { qobject_cast<QInputDialog*>(w)->reject(); });
    EXPECT_EQ(dialogs.inputBox("p", "t", "6"), std::nullopt);
}

}  // namespace
}  // namespace nms::testing
