// What the desktop tests share: a window over the program's core and its own host, the
// messages it showed, and waits that let the event loop run until a condition holds.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.hpp"
#include "app/qt_host.hpp"
#include "automation/program_core.hpp"
#include "core/app_state.hpp"
#include "core/file_io.hpp"
#include "device/gps_job.hpp"
#include "formats/igc/igc_reader.hpp"
#include "protocols/dispatch_table.hpp"

namespace tracora::app::test_support {

// Generous for a busy two-core machine.
inline constexpr int kDeadlineMs = 120'000;

// Runs the event loop until `done` holds or the time is up; returns `done()`.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kDeadlineMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// Runs `act` on the next modal dialog once it is shown (its exec() runs its own event loop).
inline void OnNextModal(const std::function<void(QDialog&)>& act) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(*dialog);
    });
    timer->start();
}

// Runs `act` on the first modal dialog whose title starts with `title` (other modal windows,
// such as a progress dialog, are passed over).
inline void OnModalTitled(const QString& title, const std::function<void(QDialog&)>& act) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, title, act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible() || !dialog->windowTitle().startsWith(title)) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(*dialog);
    });
    timer->start();
}

inline void Click(QDialog& dialog, QDialogButtonBox::ButtonRole role) {
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* button : box->buttons()) {
        if (box->buttonRole(button) == role) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button of that role";
}

inline std::string Fixture(const std::string& name) {
    return std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name;
}

inline std::string ReadFixture(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(Fixture(name), text), FileReadStatus::kOk) << name;
    return text;
}

struct Message {
    std::string title, text;
    bool operator==(const Message&) const = default;
};

inline void PrintTo(const Message& message, std::ostream* out) {
    *out << "{" << message.title << ": " << message.text << "}";
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.messageHook = [this](const std::string& title, const std::string& text) {
            messages.push_back({title, text});
        };
        host.askHook = [this](const std::string& title, const std::string& text) {
            questions.push_back({title, text});
            return answer;
        };
        window = std::make_unique<MainWindow>(core, host);
    }

    void TearDown() override {
        state.busy = false;
        window->close();
        window.reset();
        jobs.WaitForJobEnd();
    }

    // Loads the points of an IGC fixture as if read from a file.
    void LoadFlight(const std::string& name) {
        igc::IgcParseResult parsed;
        ASSERT_GT(igc::ParseIgc(ReadFixture(name), parsed), 0) << parsed.error;
        state.trackLog.points = std::move(parsed.points);
        state.trackLog.hasPressureAltitude = true;
        state.trackLog.saved = true;
        window->RefreshLists();
    }

    QtHost host;
    // The desktop's own wiring, without settings files (nothing is read or saved).
    automation::ProgramCore core{host, std::nullopt};
    AppState& state = core.State();
    device::JobLayer& jobs = core.Jobs();
    std::unique_ptr<MainWindow> window;
    std::vector<Message> messages;
    std::vector<Message> questions;
    Answer answer = Answer::kNo;
};

}  // namespace tracora::app::test_support
