// The competition desk's dialogs driven through their widgets: the competition window's times,
// the pilot lookup of "Save competition log", and Ctrl+S in competition mode writing the
// competition output after the analysis on the worker.
#include <algorithm>
#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>

#include "app/app_test_support.hpp"
#include "app/competition_dialogs.hpp"
#include "core/test_files.hpp"

namespace tracora::app {
namespace {

using test_support::Message;
using test_support::WaitUntil;
using test_support::WindowTest;

// Typing into a field: the text changes as the user's keys change it.
void Type(QLineEdit* field, const QString& text) {
    field->setText(field->text() + text);
    emit field->textEdited(field->text());
}

void Screenshot(QWidget& widget, const char* name) {
    QDir().mkpath(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    widget.adjustSize();
    EXPECT_TRUE(widget.grab().save(QStringLiteral(TRACORA_SCREENSHOT_DIR "/%1.png").arg(name)));
}

// 2024-03-17 10:00:00 UTC in seconds since 1989-12-31 00:00:00 UTC (Python's datetime).
constexpr std::int32_t kMarch17 = 1079604000;

TEST_F(WindowTest, CompetitionTimesAreCheckedAndStored) {
    CompetitionTimesDialog dialog(state.settings, host);
    Screenshot(dialog, "competition_times");
    struct Case {
        const char* start;
        const char* stop;
        const char* message;
    } cases[] = {
        {"2024-03-17 25:00:00", "", "Bad start time"},
        {"2024-02-30  10:00:00", "", "Bad start time"},
        {"", "17.03.2024", "Bad stop time"},
        {"2024-03-17  10:00:00", "2024-03-17  10:00:00", "Stop time before start time"},
    };
    for (const Case& c : cases) {
        messages.clear();
        dialog.StartField()->setText(QString::fromLatin1(c.start));
        dialog.StopField()->setText(QString::fromLatin1(c.stop));
        dialog.accept();
        EXPECT_EQ(messages, (std::vector<Message>{{"Read comp. time", c.message}})) << c.start;
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    messages.clear();
    dialog.StartField()->setText(QStringLiteral("2024-03-17  10:00:00"));
    dialog.StopField()->setText(QString());
    dialog.accept();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(state.settings.compTimeStart, kMarch17);
    EXPECT_EQ(state.settings.compTimeStop, 0);
    EXPECT_EQ(CompetitionTimeText(kMarch17, "No start time"), "2024-03-17  10:00:00");
}

TEST_F(WindowTest, CompetitionModeDialogShowsTheListAndStoresTheMode) {
    state.pilotList.pilots = {PilotEntry{"A", 1, 2, {}}, PilotEntry{"B", 3, 4, {}}};
    state.settings.compTimeStart = kMarch17;
    state.settings.compTimeStop = 0;
    CompetitionModeDialog dialog(state, host);
    Screenshot(dialog, "competition_mode");
    EXPECT_EQ(dialog.PilotsLabel()->text(), "2 pilots");
    EXPECT_EQ(dialog.WindowLabel()->text(), "2024-03-17  10:00:00\nNo stop time");
    dialog.ModeBox()->setChecked(true);
    dialog.accept();
    EXPECT_EQ(state.settings.compMode, 1);
    EXPECT_EQ(window->StatusText(), "2 pilots registered");
}

class CompetitionPilotTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // Name, CIVL ID, competition ID.
        state.pilotList.pilots = {PilotEntry{"Other", 2, 1, {}},
                                  PilotEntry{"Smith, John", 4711, 12, {}},
                                  PilotEntry{"No Civl", -1, 16, {}}};
        state.trackLog.productName = "COMPEO+";
    }
};

TEST_F(CompetitionPilotTest, TheInstrumentsIdsSelectTheirPilot) {
    state.pilot = {"", -1, 4711};
    CompetitionPilotDialog dialog(state, host);
    Screenshot(dialog, "competition_pilot");
    EXPECT_EQ(dialog.windowTitle(), "Save competition log (COMPEO+)");
    ASSERT_EQ(dialog.PilotBox()->count(), 3);
    EXPECT_EQ(dialog.PilotBox()->itemText(1), "Smith, John (comp. 12, CIVL 4711)");
    EXPECT_EQ(dialog.PilotBox()->itemText(2), "No Civl (comp. 16)");
    EXPECT_EQ(dialog.PilotBox()->currentIndex(), 1);
    EXPECT_EQ(dialog.CompIdField()->text(), "12");
    EXPECT_EQ(dialog.NameField()->text(), "Smith, John");
}

TEST_F(CompetitionPilotTest, TypingAnIdLooksThePilotUp) {
    CompetitionPilotDialog dialog(state, host);
    // No match for the current IDs: the first line, the current IDs, no name.
    EXPECT_EQ(dialog.PilotBox()->currentIndex(), 0);
    EXPECT_EQ(dialog.NameField()->text(), "");
    dialog.CompIdField()->clear();
    Type(dialog.CompIdField(), QStringLiteral("16"));
    EXPECT_EQ(dialog.NameField()->text(), "No Civl");
    EXPECT_EQ(dialog.PilotBox()->currentIndex(), 2);
    Type(dialog.CompIdField(), QStringLiteral("9"));  // 169: nobody
    EXPECT_EQ(dialog.NameField()->text(), "");
    EXPECT_EQ(dialog.CivlIdField()->text(), "");
    dialog.CompIdField()->clear();
    Type(dialog.CompIdField(), QStringLiteral("12"));
    EXPECT_EQ(dialog.CivlIdField()->text(), "4711");
    EXPECT_EQ(dialog.NameField()->text(), "Smith, John");

    dialog.CompIdField()->setText(QStringLiteral("x1"));
    dialog.accept();
    EXPECT_EQ(messages, (std::vector<Message>{{"Pilot parameter check", "Bad comp. pilot ID"}}));
    dialog.CompIdField()->setText(QStringLiteral("12"));
    dialog.FolderField()->setText(QStringLiteral("/srv/comp"));
    dialog.accept();
    EXPECT_EQ(state.pilot, (CurrentPilot{"Smith, John", 12, 4711}));
    EXPECT_EQ(state.settings.compDir, "/srv/comp");
}

TEST_F(CompetitionPilotTest, CtrlSInCompetitionModeWritesTheCompetitionOutput) {
    LoadFlight("marcourt.igc");
    state.trackLog.gRecordEligible = true;
    state.trackLog.timeIsUtc = true;
    state.settings.compMode = 1;
    state.settings.compTimeStart = 0;
    state.settings.addIgcToCompOut = 1;
    const std::filesystem::path comp = tracora::testing::FreshTestFolder("competition_window");
    state.settings.compDir = comp.string();
    bool saved = false;
    QObject::connect(window.get(), &MainWindow::CompetitionSaved, [&saved] { saved = true; });
    test_support::OnNextModal([](QDialog& dialog) {
        auto* pilot = qobject_cast<CompetitionPilotDialog*>(&dialog);
        ASSERT_NE(pilot, nullptr);
        pilot->CivlIdField()->clear();
        Type(pilot->CivlIdField(), QStringLiteral("4711"));
        pilot->accept();
    });
    ASSERT_TRUE(window->RunCommand(40115));
    ASSERT_TRUE(WaitUntil([&saved] { return saved; }));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(comp)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u) << (messages.empty() ? "" : messages.back().text);
    EXPECT_TRUE(names[0].starts_with("Smith, John.")) << names[0];
    EXPECT_TRUE(names[0].ends_with(".4711.12.igc")) << names[0];
    EXPECT_TRUE(names[1].ends_with(".4711.12.kml")) << names[1];
    EXPECT_TRUE(window->StatusText().endsWith(".kml: File saved, signature OK"))
        << window->StatusText().toStdString();
    EXPECT_TRUE(state.trackLog.saved);
    std::filesystem::remove_all(comp);
}

}  // namespace
}  // namespace tracora::app
