// The competition desk's instrument commands in the window, against the emulators over a
// pseudo-terminal: the offer to write the pilot's IDs to an instrument that carried none, the
// waypoint upload with the "Select pilot" dialog, and the LogIt's user name and product data.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/competition_dialogs.hpp"
#include "app_test_support.hpp"
#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "protocols/flytec/flytec_emulator.hpp"
#include "protocols/logit/logit_emulator.hpp"

namespace tracora::app {
namespace {

using test_support::Click;
using test_support::Message;
using test_support::OnModalTitled;
using test_support::WaitUntil;

QString LabelText(QDialog& dialog, const char* name) {
    auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label != nullptr ? label->text() : QStringLiteral("<missing>");
}

// The number an ID waypoint's position spells, worked out from the sentence's "DDMM.mmm" and
// "DDDMM.mmm" texts: whole degrees, whole minutes and the rest of the minute in seconds.
int SpelledId(const protocols::flytec::UploadedWaypoint& w) {
    const auto dms = [](const std::string& text, std::size_t degreeDigits, int out[3]) {
        out[0] = std::stoi(text.substr(0, degreeDigits));
        const double minutes = std::stod(text.substr(degreeDigits));
        out[1] = static_cast<int>(minutes);
        out[2] = static_cast<int>(std::lround((minutes - out[1]) * 60));
    };
    int lat[3], lon[3];
    dms(w.latitude, 2, lat);
    dms(w.longitude, 3, lon);
    return lon[0] * 100000 + lon[1] * 10000 + lon[2] * 1000 + lat[0] * 100 + lat[1] * 10 + lat[2];
}

std::string Trimmed(const std::string& text) {
    return std::string(text.substr(0, text.find_last_not_of(' ') + 1));
}

class DeskTest : public test_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
        jobs.SetPortName(pty.SlavePath());
        jobs.SetOpenAttempts(4);
        QObject::connect(window.get(), &MainWindow::JobEnded, [this] { ++ended; });
        folder =
            std::filesystem::temp_directory_path() / ("tracora-desk-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        jobs.WaitForJobEnd();
        if (flytec) {
            flytec->Stop();
        }
        if (logit) {
            logit->Stop();
        }
        std::filesystem::remove_all(folder);
        WindowTest::TearDown();
    }
    void StartFlytec(std::vector<protocols::flytec::EmulatedWaypoint> waypoints) {
        protocols::flytec::FlytecEmulatorConfig config;
        config.flights.push_back(test_support::ReadFixture("marcourt.igc"));
        config.waypoints = std::move(waypoints);
        flytec = std::make_unique<protocols::flytec::FlytecEmulator>(*link, std::move(config));
        flytec->Start();
    }
    void StartLogIt() {
        protocols::logit::LogItEmulatorConfig config;
        config.slaveFd = pty.SlaveFd();
        logit = std::make_unique<protocols::logit::LogItEmulator>(*link, std::move(config));
        logit->Start();
    }
    // A desk in competition mode with one listed pilot.
    void CompetitionDesk() {
        state.settings.compMode = 1;
        state.settings.compTimeStart = 0;
        state.settings.compDir = folder.string();
        PilotEntry smith;
        smith.name = "Smith, John";
        smith.competitionId = 4711;
        smith.civlId = 12;
        state.pilotList.pilots = {smith};
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::flytec::FlytecEmulator> flytec;
    std::unique_ptr<protocols::logit::LogItEmulator> logit;
    std::filesystem::path folder;
    int ended = 0;
};

// A competition download from an instrument without ID waypoints: after the save the desk
// offers the pilot's IDs; OK writes COMPID and CIVLID to the instrument and remembers the
// instrument with the pilot.
TEST_F(DeskTest, DownloadWithoutIdsOffersTheIdUpload) {
    StartFlytec(protocols::flytec::BuiltInWaypoints());
    CompetitionDesk();
    QString proposedName = QStringLiteral("<not shown>");
    OnModalTitled(QStringLiteral("Save competition log"), [&](QDialog& dialog) {
        auto* pilot = qobject_cast<CompetitionPilotDialog*>(&dialog);
        ASSERT_NE(pilot, nullptr);
        proposedName = pilot->NameField()->text();
        pilot->PilotBox()->setCurrentIndex(0);
        emit pilot->PilotBox()->activated(0);
        pilot->accept();
    });
    std::vector<QString> offer;
    OnModalTitled(QStringLiteral("No pilot ID"), [&](QDialog& dialog) {
        for (const char* name : {"compId", "civlId", "pilot", "device"}) {
            offer.push_back(LabelText(dialog, name));
        }
        // The save has remembered the instrument already; the upload must do so again.
        state.pilotList.pilots[0].devices = {};
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    window->CommandAction(40054)->trigger();
    ASSERT_TRUE(WaitUntil([this] { return ended >= 2; }));
    EXPECT_TRUE(messages.empty()) << messages.front().text;
    // Nobody was proposed: the instrument carried no IDs.
    EXPECT_EQ(proposedName, QString());
    EXPECT_EQ(offer, (std::vector<QString>{QStringLiteral("4711"), QStringLiteral("12"),
                                           QStringLiteral("Smith, John"),
                                           QStringLiteral("Compeo+: 1234")}));
    ASSERT_TRUE(flytec->WaitForUploads(2, test_support::kDeadlineMs));
    const auto uploads = flytec->Uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(Trimmed(uploads[0].name), "COMPID 4711");
    EXPECT_EQ(SpelledId(uploads[0]), 4711);
    EXPECT_EQ(uploads[0].altitude, 0);
    EXPECT_EQ(Trimmed(uploads[1].name), "CIVLID 12");
    EXPECT_EQ(SpelledId(uploads[1]), 12);
    for (const auto& w : uploads) {
        EXPECT_EQ(w.northSouth, 'N');
        EXPECT_EQ(w.eastWest, 'E');
    }
    EXPECT_FALSE(state.jobFailed);
    EXPECT_EQ(state.pilotList.pilots[0].devices[0], "Compeo+: 1234");
}

// An instrument that carried its pilot's COMPID: the pilot is proposed by it and no upload is
// offered.
TEST_F(DeskTest, DownloadWithIdsProposesThePilotAndOffersNothing) {
    auto waypoints = protocols::flytec::BuiltInWaypoints();
    // 4711: latitude 7 degrees 1 minute 1 second, longitude 4 seconds east.
    waypoints.push_back({7 * 60000 + 1017, 67, "COMPID", "COMPID 4711", 0});
    StartFlytec(waypoints);
    CompetitionDesk();
    state.pilot = CurrentPilot{"Someone Else", 99, 98};
    QString proposedName;
    OnModalTitled(QStringLiteral("Save competition log"), [&](QDialog& dialog) {
        auto* pilot = qobject_cast<CompetitionPilotDialog*>(&dialog);
        ASSERT_NE(pilot, nullptr);
        proposedName = pilot->NameField()->text();
        pilot->accept();
    });
    bool offered = false;
    OnModalTitled(QStringLiteral("No pilot ID"), [&](QDialog& dialog) {
        offered = true;
        dialog.reject();
    });
    bool saved = false;
    QObject::connect(window.get(), &MainWindow::CompetitionSaved, [&saved] { saved = true; });
    window->CommandAction(40054)->trigger();
    ASSERT_TRUE(WaitUntil([&saved] { return saved; }));
    EXPECT_EQ(state.trackLog.compPilotId, 4711);
    EXPECT_EQ(proposedName, QStringLiteral("Smith, John"));
    EXPECT_FALSE(offered);
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(flytec->Uploads().empty());
}

// The OK checks of "Select pilot", title "Check ID".
TEST_F(DeskTest, SelectPilotChecksTheTypedIds) {
    CompetitionDesk();
    struct Case {
        const char* comp;
        const char* civl;
        Answer answer;
        std::vector<Message> messages;
        bool asked;
        bool accepted;
        int compId, civlId;
    } cases[] = {
        {"12a", "", Answer::kYes, {{"Check ID", "Bad comp. ID"}}, false, false, 0, 0},
        {"-5", "7", Answer::kYes, {{"Check ID", "Bad comp. ID"}}, false, false, 0, 0},
        {"", "x1", Answer::kYes, {{"Check ID", "Bad CIVL ID"}}, false, false, 0, 0},
        {"", " ", Answer::kNo, {}, true, false, 0, 0},
        {"", "", Answer::kYes, {}, true, true, -1, -1},
        {" 42 ", "", Answer::kYes, {}, false, true, 42, -1},
        {"", "123456", Answer::kNo, {}, false, true, -1, 123456},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.comp) + "/" + c.civl);
        messages.clear();
        questions.clear();
        answer = c.answer;
        UploadPilotDialog dialog(state, host, {"Flytec 50xx/60xx", "IQ-Compeo(+)/Competino(+)"},
                                 window.get());
        EXPECT_EQ(dialog.windowTitle(),
                  QStringLiteral("Select pilot (Flytec 50xx/60xx, IQ-Compeo(+)/Competino(+))"));
        EXPECT_EQ(dialog.ListHeading()->text(),
                  QStringLiteral("&Select pilot from list (1 pilots)"));
        dialog.CompIdField()->setText(QString::fromLatin1(c.comp));
        dialog.CivlIdField()->setText(QString::fromLatin1(c.civl));
        dialog.accept();
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(questions.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(questions[0], (Message{"Check ID", "Both IDs missing, continue ?"}));
        }
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
        if (c.accepted) {
            EXPECT_EQ(dialog.Chosen().competitionId, c.compId);
            EXPECT_EQ(dialog.Chosen().civlId, c.civlId);
            // No listed pilot chosen: the list keeps its IDs.
            EXPECT_EQ(dialog.Chosen().name, "");
            EXPECT_EQ(state.pilotList.pilots[0].civlId, 12);
        }
    }
}

// The upload in competition mode: the selected waypoint named "ID+Name", then COMPID, CIVLID
// and "-NNN" of the pilot chosen, whose corrected CIVL ID goes into the list with the
// instrument.
TEST_F(DeskTest, CompetitionWaypointUploadAddsThePilotIds) {
    StartFlytec(protocols::flytec::BuiltInWaypoints());
    CompetitionDesk();
    Waypoint w;
    w.SetId("OK1");
    w.SetDescription("First");
    state.waypoints.items = {w, w};
    window->SetView(ListView::kWaypoints);
    window->RefreshLists();
    window->List().selectRow(1);
    bool shown = false;
    OnModalTitled(QStringLiteral("Select pilot"), [&](QDialog& dialog) {
        shown = true;
        auto* pilot = qobject_cast<UploadPilotDialog*>(&dialog);
        ASSERT_NE(pilot, nullptr);
        EXPECT_EQ(dialog.windowTitle(),
                  QStringLiteral("Select pilot (Flytec 50xx/60xx, IQ-Compeo(+)/Competino(+))"));
        pilot->PilotLines()->setCurrentRow(0);
        EXPECT_EQ(pilot->CompIdField()->text(), QStringLiteral("4711"));
        EXPECT_EQ(pilot->CivlIdField()->text(), QStringLiteral("12"));
        pilot->CivlIdField()->setText(QStringLiteral("99"));
        pilot->NnnBox()->setChecked(true);
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40096));  // Compeo/Competino (ID+Name)
    ASSERT_TRUE(shown);
    ASSERT_TRUE(WaitUntil([this] { return ended >= 1; }));
    EXPECT_TRUE(messages.empty()) << messages.front().text;
    ASSERT_TRUE(flytec->WaitForUploads(4, test_support::kDeadlineMs));
    const auto uploads = flytec->Uploads();
    ASSERT_EQ(uploads.size(), 4u);
    EXPECT_EQ(Trimmed(uploads[0].name), "OK1 First");
    EXPECT_EQ(Trimmed(uploads[1].name), "COMPID 4711");
    EXPECT_EQ(SpelledId(uploads[1]), 4711);
    EXPECT_EQ(Trimmed(uploads[2].name), "CIVLID 99");
    EXPECT_EQ(SpelledId(uploads[2]), 99);
    EXPECT_EQ(Trimmed(uploads[3].name), "-4711");
    EXPECT_EQ(uploads[3].latitude, "0000.000");
    EXPECT_EQ(uploads[3].longitude, "00000.000");
    EXPECT_EQ(state.settings.compWptNnn, 1);
    EXPECT_EQ(state.pilotList.pilots[0].competitionId, 4711);
    EXPECT_EQ(state.pilotList.pilots[0].civlId, 99);
    EXPECT_EQ(state.pilotList.pilots[0].devices[0], "Compeo+: 1234");
}

// Cancel uploads nothing; with nothing selected and no ID there is nothing to upload.
TEST_F(DeskTest, CompetitionWaypointUploadCancelledOrEmpty) {
    CompetitionDesk();
    state.pilot = CurrentPilot{};
    window->SetView(ListView::kWaypoints);
    OnModalTitled(QStringLiteral("Select pilot"), [](QDialog& dialog) { dialog.reject(); });
    ASSERT_TRUE(window->RunCommand(40096));
    EXPECT_FALSE(jobs.Running());
    EXPECT_FALSE(window->Busy());
    EXPECT_TRUE(messages.empty());

    answer = Answer::kYes;  // "Both IDs missing, continue ?"
    OnModalTitled(QStringLiteral("Select pilot"), [](QDialog& dialog) {
        auto* pilot = qobject_cast<UploadPilotDialog*>(&dialog);
        ASSERT_NE(pilot, nullptr);
        pilot->CompIdField()->clear();
        pilot->CivlIdField()->clear();
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40096));
    EXPECT_FALSE(jobs.Running());
    EXPECT_EQ(messages, (std::vector<Message>{{"Upload waypoints", "No waypoints selected"}}));
}

TEST_F(DeskTest, LogItMenuTexts) {
    const std::vector<std::pair<int, const char*>> texts = {
        {40010, "Read Log It (&57600)"}, {40011, "Read Log It (&38400)"},
        {40012, "Read Log It (&19200)"}, {40069, "Read Tracklogger (115&200)"},
        {40014, "&Erase LogIt track"},   {40015, "Write LogIt &Name"},
        {40016, "Read LogIt &Data"},
    };
    for (const auto& [id, text] : texts) {
        ASSERT_NE(window->CommandAction(id), nullptr);
        EXPECT_EQ(window->CommandAction(id)->text(), QString::fromLatin1(text)) << id;
        EXPECT_TRUE(window->CommandAction(id)->isEnabled()) << id;
    }
}

// "Write LogIt Name": the name typed, without its outer blanks and padded to nine characters,
// reaches the logger; a name of blanks sends nothing.
TEST_F(DeskTest, LogItNameIsWrittenPaddedToNineCharacters) {
    StartLogIt();
    OnModalTitled(QStringLiteral("Write GPS name"), [](QDialog& dialog) {
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("name"));
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->maxLength(), 9);
        name->setText(QStringLiteral("  Jo Doe"));
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40015));
    ASSERT_TRUE(WaitUntil([this] { return ended >= 1; }));
    ASSERT_TRUE(WaitUntil([this] { return logit->Names().size() == 1; }));
    EXPECT_EQ(logit->Names(), (std::vector<std::string>{"Jo Doe   "}));
    EXPECT_EQ(window->StatusText(), QStringLiteral("Name sent (no verification)"));
    EXPECT_FALSE(state.jobFailed);
    EXPECT_TRUE(messages.empty());

    OnModalTitled(QStringLiteral("Write GPS name"), [](QDialog& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("name"))->setText(QStringLiteral("   "));
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40015));
    EXPECT_FALSE(jobs.Running());
    EXPECT_FALSE(window->Busy());
    EXPECT_EQ(ended, 1);
}

// "Read LogIt Data": the product answer's four fields in the "Product Data" dialog.
TEST_F(DeskTest, LogItProductDataDialogShowsTheFourFields) {
    StartLogIt();
    std::vector<QString> fields;
    OnModalTitled(QStringLiteral("Product Data"), [&](QDialog& dialog) {
        for (const char* name : {"model", "user", "serial", "software"}) {
            fields.push_back(LabelText(dialog, name));
        }
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40016));
    ASSERT_TRUE(WaitUntil([&fields] { return !fields.empty(); }));
    EXPECT_EQ(fields, (std::vector<QString>{QStringLiteral("LOGIT"), QStringLiteral("PILOT"),
                                            QStringLiteral("4711"), QStringLiteral("2.10")}));
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window->StatusText(), QStringLiteral("Product data read"));
}

}  // namespace
}  // namespace tracora::app
