// The instrument settings dialogs and the DSX track list in the window, driven through their
// widgets against the emulators over a pseudo-terminal.
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app_test_support.hpp"
#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "formats/tnlog/tn_log.hpp"
#include "protocols/dsx/dsx_emulator.hpp"
#include "protocols/flymaster/flymaster_emulator.hpp"

namespace tracora::app {
namespace {

using test_support::Click;
using test_support::Message;
using test_support::OnNextModal;
using test_support::WaitUntil;

// The sentence as the instrument expects it: '$', the body, '*' and the XOR of the body's
// characters in lower-case hexadecimal (worked out here, not by the program).
std::string LowerHexSentence(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body) {
        sum ^= static_cast<unsigned char>(c);
    }
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", sum);
    return "$" + body + "*" + hex;
}

void Fill(QDialog& dialog, const char* name, const QString& text) {
    auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    ASSERT_NE(edit, nullptr) << name;
    edit->setText(text);
}

// For the eye: the dialog as shown, under the screenshot folder.
void Screenshot(QDialog& dialog, const char* file) {
    const QDir folder(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    EXPECT_TRUE(dialog.grab().save(folder.filePath(QString::fromLatin1(file))));
}

class InstrumentDialogTest : public test_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
        jobs.SetPortName(pty.SlavePath());
        jobs.SetOpenAttempts(4);
        QObject::connect(window.get(), &MainWindow::JobEnded, [this] { ++ended; });
    }
    void TearDown() override {
        jobs.WaitForJobEnd();
        WindowTest::TearDown();
    }
    bool WaitForJobs(int count) {
        return WaitUntil([this, count] { return ended >= count; });
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    int ended = 0;
};

bool HasRequest(const std::vector<std::string>& requests, const std::string& wanted) {
    for (const std::string& request : requests) {
        if (request == wanted) {
            return true;
        }
    }
    return false;
}

TEST_F(InstrumentDialogTest, FlymasterNameRefusesAStarThenSendsThePilotData) {
    protocols::flymaster::FlymasterEmulator unit(*link, {});
    unit.Start();
    bool shown = false;
    OnNextModal([&](QDialog& dialog) {
        shown = true;
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set Flymaster Name"));
        Fill(dialog, "pilotName", QStringLiteral("Jane Doe"));
        Fill(dialog, "competitionNumber", QStringLiteral("42"));
        Fill(dialog, "gliderBrand", QStringLiteral("Oz*one"));
        Fill(dialog, "gliderModel", QStringLiteral("Enzo 3"));
        Screenshot(dialog, "flymaster_name.png");
        Click(dialog, QDialogButtonBox::AcceptRole);
        // Refused: the dialog stays for a correction.
        EXPECT_TRUE(dialog.isVisible());
        Fill(dialog, "gliderBrand", QStringLiteral("Ozone"));
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40145));
    ASSERT_TRUE(shown);
    ASSERT_TRUE(WaitForJobs(1));
    unit.Stop();
    EXPECT_EQ(messages,
              (std::vector<Message>{{"Set Flymaster data", "Glider brand contains '*'"}}));
    EXPECT_TRUE(HasRequest(unit.Requests(), LowerHexSentence("PFMPLT,Jane Doe,42,Ozone,Enzo 3,")));
    EXPECT_EQ(window->StatusText(), QStringLiteral("Data sent"));
    EXPECT_FALSE(state.jobFailed);
}

// Each refused altitude keeps the dialog open with its reason; 11,000 m is the highest alarm.
TEST_F(InstrumentDialogTest, FlymasterAltitudeAlarmChecksTheInputThenSendsIt) {
    protocols::flymaster::FlymasterEmulator unit(*link, {});
    unit.Start();
    OnNextModal([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set Flymaster altitude alarm"));
        for (const char* refused : {"", "12a", "-5", "11001"}) {
            Fill(dialog, "altitude", QString::fromLatin1(refused));
            Click(dialog, QDialogButtonBox::AcceptRole);
            EXPECT_TRUE(dialog.isVisible()) << refused;
        }
        Fill(dialog, "altitude", QStringLiteral("11000"));
        Screenshot(dialog, "flymaster_altitude_alarm.png");
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40157));
    ASSERT_TRUE(WaitForJobs(1));
    unit.Stop();
    const std::string title = "Set Flymaster altitude alarm";
    EXPECT_EQ(messages, (std::vector<Message>{{title, "Missing input"},
                                              {title, "Bad input format"},
                                              {title, "Bad input format"},
                                              {title, "Altitude too high"}}));
    EXPECT_TRUE(HasRequest(unit.Requests(), LowerHexSentence("PFMALT,11000,")));
    EXPECT_EQ(window->StatusText(), QStringLiteral("Data sent"));
}

TEST_F(InstrumentDialogTest, FlymasterIdsGoToTheB1NavWithAnEmptyCivlId) {
    protocols::flymaster::FlymasterEmulatorConfig config;
    config.product = {"B1NAV", "777", "2.05"};
    protocols::flymaster::FlymasterEmulator unit(*link, config);
    unit.Start();
    OnNextModal([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set Flymaster IDs"));
        Fill(dialog, "competitionId", QStringLiteral("12x"));
        Fill(dialog, "civlId", QString());
        Fill(dialog, "pilotName", QStringLiteral("Ja*ne"));
        Click(dialog, QDialogButtonBox::AcceptRole);
        Fill(dialog, "competitionId", QStringLiteral("123"));
        Click(dialog, QDialogButtonBox::AcceptRole);
        EXPECT_TRUE(dialog.isVisible());
        Fill(dialog, "pilotName", QStringLiteral("Jane Doe"));
        Screenshot(dialog, "flymaster_ids.png");
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40166));
    ASSERT_TRUE(WaitForJobs(1));
    unit.Stop();
    EXPECT_EQ(messages, (std::vector<Message>{{"Set Flymaster IDs", "Bad input format"},
                                              {"Set Flymaster IDs", "Pilot name contains '*'"}}));
    EXPECT_TRUE(HasRequest(unit.Requests(), LowerHexSentence("PFMIDS,123,,Jane Doe")));
    EXPECT_EQ(window->StatusText(), QStringLiteral("Data sent"));
}

// The pilot data of an F1 go through; the B1 NAV refuses them and the job fails.
TEST_F(InstrumentDialogTest, FlymasterNameIsRefusedForTheB1Nav) {
    protocols::flymaster::FlymasterEmulatorConfig config;
    config.product = {"B1NAV", "777", "2.05"};
    protocols::flymaster::FlymasterEmulator unit(*link, config);
    unit.Start();
    OnNextModal([&](QDialog& dialog) {
        Fill(dialog, "pilotName", QStringLiteral("Jane Doe"));
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40145));
    ASSERT_TRUE(WaitForJobs(1));
    unit.Stop();
    EXPECT_EQ(messages,
              (std::vector<Message>{{"Set pilot data", "Command not available for B1 NAV"}}));
    for (const std::string& request : unit.Requests()) {
        EXPECT_FALSE(request.starts_with("$PFMPLT")) << request;
    }
    EXPECT_TRUE(state.jobFailed);
}

TEST_F(InstrumentDialogTest, SettingsDialogsAreRefusedWhileAJobRuns) {
    state.busy = true;
    for (const int id : {40166, 40145, 40157, 40153}) {
        ASSERT_TRUE(window->RunCommand(id)) << id;
    }
    ASSERT_EQ(messages.size(), 4u);
    for (const Message& message : messages) {
        EXPECT_EQ(message.text, "Busy GPS driver") << message.title;
    }
    EXPECT_EQ(messages[2].title, "Flymaster altitude alarm");
}

// The DSX job reads the five fields, the dialog shows them; only the changed field and the
// telephone number are written back.
TEST_F(InstrumentDialogTest, DsxPilotDataShowsTheFieldsReadAndSendsOnlyChanges) {
    protocols::dsx::DsxEmulatorConfig config;
    config.fields = {"TEST PILOT", "42", "Sport", "Ozone Enzo", "Sponsor"};
    protocols::dsx::DsxEmulator unit(*link, config);
    unit.Start();
    state.settings.dsxDataMode = 0;
    bool shown = false;
    OnNextModal([&](QDialog& dialog) {
        shown = true;
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set DSX pilot data"));
        const char* read[] = {"TEST PILOT", "42", "Sport", "Ozone Enzo", "Sponsor", ""};
        for (int i = 0; i < 6; ++i) {
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("field%1").arg(i + 1));
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->text(), QString::fromLatin1(read[i])) << i;
        }
        auto* fourth = dialog.findChild<QLabel*>(QStringLiteral("label4"));
        ASSERT_NE(fourth, nullptr);
        EXPECT_EQ(fourth->text(), QStringLiteral("Glider"));
        auto* gliding = dialog.findChild<QPushButton*>(QStringLiteral("gliding"));
        ASSERT_NE(gliding, nullptr);
        gliding->click();
        EXPECT_EQ(fourth->text(), QStringLiteral("Call sign"));
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("label5"))->text(),
                  QStringLiteral("Aircraft type"));
        Fill(dialog, "field1", QStringLiteral("JANE DOE"));
        Fill(dialog, "field3", QString());  // blank: not sent
        Fill(dialog, "field6", QStringLiteral("+41 79 000 00 00"));
        Screenshot(dialog, "dsx_pilot_data.png");
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40153));
    ASSERT_TRUE(WaitForJobs(1));
    unit.Stop();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window->StatusText(), QStringLiteral("Data sent"));
    EXPECT_EQ(state.settings.dsxDataMode, 1);
    std::vector<std::string> writes;
    for (const std::string& request : unit.Requests()) {
        if (request.starts_with("H") || request.starts_with("C1")) {
            writes.push_back(request);
        }
    }
    EXPECT_EQ(writes, (std::vector<std::string>{"H1JANE DOE", "C1+41 79 000 00 00"}));
    EXPECT_EQ(unit.Requests().back(), "V0");
}

TEST_F(InstrumentDialogTest, DsxPilotDataCancelledWritesNothing) {
    protocols::dsx::DsxEmulator unit(*link, {});
    unit.Start();
    OnNextModal([&](QDialog& dialog) {
        Fill(dialog, "field1", QStringLiteral("SOMEONE ELSE"));
        Click(dialog, QDialogButtonBox::RejectRole);
    });
    ASSERT_TRUE(window->RunCommand(40153));
    ASSERT_TRUE(WaitForJobs(1));
    unit.Stop();
    for (const std::string& request : unit.Requests()) {
        EXPECT_FALSE(request.starts_with("H") || request.starts_with("C1")) << request;
    }
    EXPECT_EQ(unit.Fields()[0], "TEST PILOT");
    EXPECT_TRUE(state.jobFailed);
}

// The DSX download asks for the flight in its track list, newest first; the older flight
// chosen is the one downloaded, byte for byte.
TEST_F(InstrumentDialogTest, DsxTrackListChoosesTheFlightToDownload) {
    protocols::dsx::DsxEmulatorConfig config;
    config.flights = {test_support::ReadFixture("20241007TZN.igc"),
                      test_support::ReadFixture("marcourt.igc")};
    config.firstNumber = 7;
    protocols::dsx::DsxEmulator unit(*link, config);
    unit.Start();
    bool shown = false;
    OnNextModal([&](QDialog& dialog) {
        shown = true;
        EXPECT_EQ(
            dialog.windowTitle(),
            QStringLiteral("Track List (%1, DSX)").arg(QString::fromStdString(pty.SlavePath())));
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("tracks"));
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 2);
        EXPECT_TRUE(list->item(0)->text().startsWith(QStringLiteral("008       ")));
        EXPECT_TRUE(list->item(1)->text().startsWith(QStringLiteral("007       ")));
        list->setCurrentRow(1);
        Screenshot(dialog, "dsx_track_list.png");
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40148));
    ASSERT_TRUE(WaitForJobs(1));
    unit.Stop();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(HasRequest(unit.Requests(), "F007"));
    EXPECT_EQ(state.trackLog.rawIgc.text, test_support::ReadFixture("20241007TZN.igc"));
    EXPECT_FALSE(state.trackLog.points.empty());
}

TEST_F(InstrumentDialogTest, DsxTrackListCancelledDownloadsNothing) {
    protocols::dsx::DsxEmulatorConfig config;
    config.flights = {test_support::ReadFixture("marcourt.igc")};
    protocols::dsx::DsxEmulator unit(*link, config);
    unit.Start();
    OnNextModal([&](QDialog& dialog) { Click(dialog, QDialogButtonBox::RejectRole); });
    ASSERT_TRUE(window->RunCommand(40148));
    ASSERT_TRUE(WaitForJobs(1));
    unit.Stop();
    EXPECT_EQ(window->StatusText(), QStringLiteral("Track selection cancelled"));
    for (const std::string& request : unit.Requests()) {
        EXPECT_FALSE(request.starts_with("F0")) << request;
    }
    EXPECT_TRUE(state.trackLog.points.empty());
    EXPECT_TRUE(state.jobFailed);
}

struct UtcOffsetCase {
    int before;              // seconds, local time minus UTC
    const char* shownHours;  // what the dialog selects first
    const char* shownMinutes;
    const char* hours;  // what the user picks
    const char* minutes;
    bool ok;
    int after;
};

void PrintTo(const UtcOffsetCase& c, std::ostream* out) {
    *out << c.before << " -> " << c.hours << ":" << c.minutes << (c.ok ? " OK" : " Cancel");
}

class UtcOffsetDialogTest : public test_support::WindowTest,
                            public ::testing::WithParamInterface<UtcOffsetCase> {
protected:
    void TearDown() override {
        tnlog::SetTnUtcOffset(0);
        WindowTest::TearDown();
    }
};

// The hour list and the half hour: a half hour goes away from zero on either side of UTC, and
// Cancel keeps the offset the window and the log reader use.
TEST_P(UtcOffsetDialogTest, TheChosenOffsetReachesTheSettingsAndTheLogReader) {
    const UtcOffsetCase& c = GetParam();
    state.settings.utcOffsetForTn = c.before;
    tnlog::SetTnUtcOffset(c.before);
    bool shown = false;
    OnNextModal([&](QDialog& dialog) {
        shown = true;
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set UTC offset for TN"));
        auto* hours = dialog.findChild<QComboBox*>(QStringLiteral("hours"));
        auto* minutes = dialog.findChild<QComboBox*>(QStringLiteral("minutes"));
        ASSERT_NE(hours, nullptr);
        ASSERT_NE(minutes, nullptr);
        ASSERT_EQ(hours->count(), 25);
        EXPECT_EQ(hours->itemText(0), QStringLiteral("12"));
        EXPECT_EQ(hours->itemText(24), QStringLiteral("-12"));
        EXPECT_EQ(hours->currentText(), QString::fromLatin1(c.shownHours));
        EXPECT_EQ(minutes->currentText(), QString::fromLatin1(c.shownMinutes));
        hours->setCurrentIndex(hours->findText(QString::fromLatin1(c.hours)));
        minutes->setCurrentIndex(minutes->findText(QString::fromLatin1(c.minutes)));
        if (c.before == -19800) {
            Screenshot(dialog, "utc_offset.png");
        }
        Click(dialog, c.ok ? QDialogButtonBox::AcceptRole : QDialogButtonBox::RejectRole);
    });
    ASSERT_TRUE(window->RunCommand(40185));
    ASSERT_TRUE(shown);
    EXPECT_EQ(state.settings.utcOffsetForTn, c.after);
    EXPECT_EQ(tnlog::TnUtcOffset(), c.after);
    EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Offsets, UtcOffsetDialogTest,
                         ::testing::Values(UtcOffsetCase{0, "0", "0", "2", "0", true, 7200},
                                           UtcOffsetCase{-19800, "-5", "30", "-3", "30", true,
                                                         -12600},
                                           UtcOffsetCase{19800, "5", "30", "9", "30", true, 34200},
                                           UtcOffsetCase{3600, "1", "0", "-12", "0", true, -43200},
                                           UtcOffsetCase{3600, "1", "0", "12", "30", false, 3600}));

TEST_F(InstrumentDialogTest, UtcOffsetDialogIsRefusedWhileAJobRuns) {
    state.busy = true;
    state.settings.utcOffsetForTn = 3600;
    ASSERT_TRUE(window->RunCommand(40185));
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(state.settings.utcOffsetForTn, 3600);
}

}  // namespace
}  // namespace tracora::app
