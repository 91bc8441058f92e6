// The window's flight analysis and KML commands as a pilot uses them: the statistics dialog
// with its logbook save, the raw IGC save, the animation track, the batch conversion and the
// analysis settings.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "analysis/analysis_report.hpp"
#include "app_test_support.hpp"
#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/test_files.hpp"
#include "formats/igc/igc_reader.hpp"

namespace tracora::app {
namespace {

using test_support::Click;
using test_support::OnNextModal;
using test_support::WaitUntil;
using test_support::WindowTest;
using tracora::testing::CountOccurrences;

std::filesystem::path TempFolder(const std::string& name) {
    const std::filesystem::path folder =
        std::filesystem::path(TRACORA_SCREENSHOT_DIR).parent_path() / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

std::string ReadText(const std::filesystem::path& path) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(path, text), FileReadStatus::kOk) << path;
    return text;
}

TEST_F(WindowTest, StatisticsDialogShowsTheFlightAndSavesItIntoTheLogbook) {
    LoadFlight("marcourt.igc");
    state.settings = DefaultSettings();
    state.trackLog.saved = false;
    ASSERT_TRUE(window->RunCommand(40115));
    StatisticsDialog* dialog = window->Statistics();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_TRUE(WaitUntil([dialog] {
        return dialog->SaveButton()->isEnabled() && dialog->OptimisationFinished() &&
               dialog->Value("Open distance") != "-";
    }));
    EXPECT_TRUE(dialog->StatusText().startsWith("Computing completed ("));
    EXPECT_FALSE(dialog->HaltButton()->isEnabled());
    // The recorder's date and the figures and results of the analysis of the same points.
    EXPECT_EQ(dialog->Value("Date"), "2021-03-06");
    EXPECT_EQ(dialog->Description()->text(), "2021-03-06");
    analysis::AnalysisReport report;
    std::string error;
    analysis::OptimisationOptions options;
    options.loopFlightGapMetres = state.settings.loopFlightGap;
    ASSERT_EQ(analysis::AnalyseTrack(state.trackLog.points, state.settings, options, report, error),
              0);
    const auto km = [](double metres) {
        return QString::fromStdString(StringPrintf("%.2f km", metres / 1000));
    };
    EXPECT_EQ(dialog->Value("Open distance"), km(report.trip.open.sum));
    EXPECT_EQ(dialog->Value("Distance over 5 points"), km(report.trip.five.sum));
    EXPECT_EQ(dialog->Value("FAI triangle"), km(report.trip.fai.score));
    EXPECT_EQ(
        dialog->Value("Total distance"),
        QString::fromStdString(StringPrintf("%.1f km", report.statistics.totalMetres / 1000)));

    // For the eye: the dialog with a finished analysis.
    QDir().mkpath(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(dialog->grab().save(QStringLiteral(TRACORA_SCREENSHOT_DIR "/statistics.png")));

    const std::filesystem::path folder = TempFolder("logbook");
    std::string proposed;
    std::vector<FileFilter> filters;
    host.saveDialogHook = [&](const FileDialogRequest& request) {
        proposed = request.proposedName;
        filters = request.filters;
        return std::optional<FileDialogResult>(FileDialogResult{folder / "flights", 1});
    };
    dialog->Description()->setText(QStringLiteral("Marcourt <first> flight"));
    dialog->Save();
    EXPECT_EQ(proposed, "2021-03-06_10-34");
    // The dialog adds the pattern to each name: a name holding it would show it twice.
    ASSERT_FALSE(filters.empty());
    EXPECT_EQ(filters[0].name, "Flybook files");
    EXPECT_EQ(filters[0].extension, "kml");
    const std::string book = ReadText(folder / "flights.kml");
    EXPECT_NE(book.find("Marcourt &lt;first&gt; flight"), std::string::npos);
    EXPECT_EQ(CountOccurrences(book, "<name>Trip</name>"), 1u);
    EXPECT_EQ(std::system(("xmllint --noout " + (folder / "flights.kml").string()).c_str()), 0);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(),
              (test_support::Message{"Save Flybook track", "Track saved (NO signature)"}));
    EXPECT_TRUE(state.trackLog.saved);
    dialog->close();
    EXPECT_TRUE(WaitUntil([this] { return window->Statistics() == nullptr; }));
}

TEST(StatisticsNotice, NamesThePositionsUsedAndDoubtfulFigures) {
    EXPECT_EQ(PositionsUsedText(0, 17817), "all 17,817 positions");
    EXPECT_EQ(PositionsUsedText(1, 17817), "all 17,817 positions");
    EXPECT_EQ(PositionsUsedText(75, 17817), "75 selected positions");
    EXPECT_EQ(PositionsUsedText(1234, 5000), "1,234 selected positions");

    struct Case {
        double lowest, highest, speed;
        bool filterOn;
        const char* named;  // nullptr: no notice
    };
    const Case cases[] = {
        {-5.2, 4.8, 60, false, nullptr},    // a plausible flight
        {-58.3, 57.9, 60, false, "climb"},  // the bad fixes at height 0
        {-3.0, 20.5, 60, false, "climb"},   // just over on the climb
        {-20.5, 3.0, 60, false, "climb"},   // and on the sink
        {-3.0, 20.0, 60, false, nullptr},   // the limit itself is possible
        {-3.0, 4.0, 250, false, "speed"},   // a jump of the position
        {-58.3, 57.9, 250, false, "climb and speed"},
        {-58.3, 57.9, 250, true, nullptr},  // the filter is on: the figures are filtered ones
    };
    for (const Case& c : cases) {
        analysis::FlightStatistics s;
        s.lowestClimbMps = c.lowest;
        s.highestClimbMps = c.highest;
        s.topSpeedKmh = c.speed;
        const QString notice = DoubtfulFiguresNotice(s, c.filterOn);
        if (c.named == nullptr) {
            EXPECT_TRUE(notice.isEmpty()) << notice.toStdString();
        } else {
            EXPECT_TRUE(notice.startsWith(QStringLiteral("The %1 figures are beyond").arg(c.named)))
                << notice.toStdString();
            EXPECT_TRUE(notice.contains("vario filter"));
        }
    }
}

TEST_F(WindowTest, StatisticsDialogWarnsOfBadFixesAndNamesItsPositions) {
    LoadFlight("marcourt.igc");
    state.settings.varioFilter = 0;
    // A run of fixes 4 km too high in the middle of the flight, as a receiver losing its fix
    // writes them: the height over a minute changes by far more than 20 m/s times 60 s.
    for (std::size_t i = 100; i < 140; ++i) {
        state.trackLog.points[i].gpsAltitude += 40'000;
        state.trackLog.points[i].pressureAltitude += 4'000;
    }
    window->RefreshLists();
    ASSERT_TRUE(window->RunCommand(40115));
    StatisticsDialog* dialog = window->Statistics();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->NoticeText().startsWith("Figures from all 221 positions. The climb"))
        << dialog->NoticeText().toStdString();
    EXPECT_TRUE(dialog->NoticeText().contains("vario filter"));
    dialog->close();
    EXPECT_TRUE(WaitUntil([this] { return window->Statistics() == nullptr; }));

    // Ten selected positions of the clean part: no notice.
    auto& model = window->Model(ListView::kTrackLog);
    window->List().selectionModel()->select(
        QItemSelection(model.index(10, 0), model.index(19, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_TRUE(window->RunCommand(40115));
    dialog = window->Statistics();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->NoticeText(), "Figures from 10 selected positions.");
    dialog->close();
    EXPECT_TRUE(WaitUntil([this] { return window->Statistics() == nullptr; }));
}

TEST_F(WindowTest, StatisticsDialogShowsTheExactOptimumOnRequest) {
    LoadFlight("marcourt.igc");
    state.settings = DefaultSettings();
    ASSERT_TRUE(window->RunCommand(40115));
    StatisticsDialog* dialog = window->Statistics();
    ASSERT_NE(dialog, nullptr);
    // Ticked while the two-stage search may still run: the exact search follows it.
    dialog->ExactBox()->setChecked(true);
    ASSERT_TRUE(WaitUntil([dialog] { return dialog->ExactFinished(); }));
    ASSERT_TRUE(WaitUntil([dialog] { return dialog->Value("Exact FAI triangle") != "-"; }));
    EXPECT_TRUE(dialog->StatusText().startsWith("Exact optimum proven ("))
        << dialog->StatusText().toStdString();
    EXPECT_FALSE(dialog->HaltButton()->isEnabled());
    EXPECT_FALSE(dialog->ExactBox()->isEnabled());
    // The same as the exact search over the same points, each proven.
    analysis::AnalysisReport report;
    std::string error;
    analysis::OptimisationOptions options;
    options.loopFlightGapMetres = state.settings.loopFlightGap;
    analysis::ExactOptions exact;
    exact.loopFlightGapMetres = state.settings.loopFlightGap;
    ASSERT_EQ(analysis::AnalyseTrack(state.trackLog.points, state.settings, options, report, error,
                                     &exact),
              0);
    const auto shown = [](const analysis::ExactResult& r) {
        return QString::fromStdString(StringPrintf("%.2f km (optimal)", r.score / 1000));
    };
    EXPECT_EQ(dialog->Value("Exact 5 points"), shown(report.exactResults.five));
    EXPECT_EQ(dialog->Value("Exact flat triangle"), shown(report.exactResults.flat));
    EXPECT_EQ(dialog->Value("Exact FAI triangle"), shown(report.exactResults.fai));
    // The two-stage results stay as they were.
    EXPECT_EQ(dialog->Value("FAI triangle"),
              QString::fromStdString(StringPrintf("%.2f km", report.trip.fai.score / 1000)));
    dialog->close();
    EXPECT_TRUE(WaitUntil([this] { return window->Statistics() == nullptr; }));
}

TEST_F(WindowTest, ClosingTheStatisticsWhileTheyRunStopsTheWorker) {
    // A long closed flight keeps the optimisation busy for a while.
    std::vector<TrackPoint> points;
    for (int i = 0; i < 20000; ++i) {
        const double angle = i * 0.0031;
        TrackPoint p;
        p.time = 1000000u + static_cast<std::uint32_t>(i);
        p.latitude = DegreesToSemicircles(46.0 + 0.1 * std::sin(angle));
        p.longitude = DegreesToSemicircles(7.0 + 0.14 * std::cos(angle));
        p.gpsAltitude = 15000;
        points.push_back(p);
    }
    state.trackLog.points = std::move(points);
    window->RefreshLists();
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(window->RunCommand(40115));
        ASSERT_NE(window->Statistics(), nullptr);
        window->Statistics()->close();
        EXPECT_TRUE(WaitUntil([this] { return window->Statistics() == nullptr; }));
    }
    // Halting keeps the dialog and shows why its loop results are missing.
    ASSERT_TRUE(window->RunCommand(40115));
    StatisticsDialog* dialog = window->Statistics();
    dialog->Halt();
    EXPECT_TRUE(WaitUntil([dialog] { return dialog->OptimisationFinished(); }));
    EXPECT_TRUE(WaitUntil([dialog] { return !dialog->HaltButton()->isEnabled(); }));
    if (dialog->StatusText() == "Computation halted") {
        EXPECT_EQ(dialog->Value("FAI triangle"), "0.00 km");
    }
}

TEST_F(WindowTest, HaltingTheExactOptimumShowsBestFoundAndBound) {
    // A flight round and round one circle: countless triangles of nearly the same size keep
    // the exact search busy.
    std::vector<TrackPoint> points;
    for (int i = 0; i < 30000; ++i) {
        const double angle = i * 0.0131;
        TrackPoint p;
        p.time = 1000000u + static_cast<std::uint32_t>(i);
        p.latitude = DegreesToSemicircles(46.0 + 0.01 * std::sin(angle));
        p.longitude = DegreesToSemicircles(7.0 + 0.014 * std::cos(angle));
        p.gpsAltitude = 15000;
        points.push_back(p);
    }
    state.trackLog.points = std::move(points);
    window->RefreshLists();
    ASSERT_TRUE(window->RunCommand(40115));
    StatisticsDialog* dialog = window->Statistics();
    ASSERT_NE(dialog, nullptr);
    dialog->ExactBox()->setChecked(true);
    ASSERT_TRUE(WaitUntil([dialog] {
        return dialog->StatusText() == "Computing exact optimum" || dialog->ExactFinished();
    }));
    dialog->Halt();
    ASSERT_TRUE(WaitUntil([dialog] { return dialog->ExactFinished(); }));
    ASSERT_TRUE(WaitUntil([dialog] { return dialog->Value("Exact FAI triangle") != "-"; }));
    EXPECT_FALSE(dialog->HaltButton()->isEnabled());
    if (dialog->StatusText() == "Computation halted") {
        // Whatever was still open shows the best found and the bound.
        bool halted = false;
        for (const char* name : {"Exact 5 points", "Exact flat triangle", "Exact FAI triangle"}) {
            const QString value = dialog->Value(QString::fromLatin1(name));
            EXPECT_TRUE(value.endsWith("(optimal)") || value.contains("(halted, at most "))
                << value.toStdString();
            halted = halted || value.contains("halted");
        }
        EXPECT_TRUE(halted);
    }
}

TEST_F(WindowTest, StatisticsNeedTheTrackViewAndEnoughPositions) {
    LoadFlight("marcourt.igc");
    window->SetView(ListView::kWaypoints);
    EXPECT_TRUE(window->RunCommand(40115));
    EXPECT_EQ(window->Statistics(), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Incorrect view mode");

    window->SetView(ListView::kTrackLog);
    window->List().selectRow(3);
    messages.clear();
    EXPECT_TRUE(window->RunCommand(1315));
    EXPECT_EQ(window->Statistics(), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], (test_support::Message{"Initialize track statistics dialog box",
                                                  "Too few positions selected"}));
}

TEST_F(WindowTest, LoopFlightGapDialogRefusesBadInputAndStoresTheGap) {
    state.settings.loopFlightGap = 800;
    std::vector<QString> shown;
    OnNextModal([&](QDialog& dialog) {
        auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("value"));
        ASSERT_NE(field, nullptr);
        shown.push_back(field->text());
        for (const char* typed : {"", "1.2 km", "1200"}) {
            field->setText(QString::fromLatin1(typed));
            Click(dialog, QDialogButtonBox::AcceptRole);
        }
    });
    EXPECT_TRUE(window->RunCommand(40151));
    EXPECT_EQ(shown, std::vector<QString>{QStringLiteral("800")});
    const std::vector<test_support::Message> expected{{"Set gap distance", "Missing input"},
                                                      {"Set gap distance", "Bad input"}};
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(state.settings.loopFlightGap, 1200);
}

TEST_F(WindowTest, RawIgcLogIsSavedFromTheMenuByteForByte) {
    LoadFlight("marcourt.igc");
    EXPECT_TRUE(window->RunCommand(40072));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], (test_support::Message{"Save IGC log", "No raw IGC log stored"}));
    messages.clear();

    state.trackLog.rawIgc.text = test_support::ReadFixture("marcourt.igc");
    state.trackLog.saved = false;
    state.settings.igcFlightNo = "1";
    state.settings.igcSaveMask = 1 | 2;
    const std::filesystem::path folder = TempFolder("raw_igc");
    std::string proposed;
    host.saveDialogHook = [&](const FileDialogRequest& request) {
        proposed = request.proposedName;
        return std::optional<FileDialogResult>(FileDialogResult{folder / request.proposedName, 1});
    };
    OnNextModal([&](QDialog& dialog) {
        auto* flight = dialog.findChild<QLineEdit*>(QStringLiteral("flight"));
        ASSERT_NE(flight, nullptr);
        EXPECT_EQ(flight->text(), "1");
        flight->setText(QStringLiteral("36"));
        Click(dialog, QDialogButtonBox::AcceptRole);
        EXPECT_TRUE(dialog.isVisible());
        // The two name boxes exclude each other.
        const auto boxes = dialog.findChildren<QCheckBox*>();
        ASSERT_EQ(boxes.size(), 2);
        EXPECT_TRUE(boxes[0]->isChecked());
        boxes[1]->setChecked(true);
        EXPECT_FALSE(boxes[0]->isChecked());
        flight->setText(QStringLiteral("2"));
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    EXPECT_TRUE(window->RunCommand(40072));
    const std::vector<test_support::Message> expected{
        {"IGC file parameter check", "Flight number out of range"}};
    EXPECT_EQ(messages, expected);
    // The recorder's A record AXSX004, first fix 2021-03-06, flight 2, short name.
    EXPECT_EQ(proposed, "136X0042.igc");
    EXPECT_EQ(ReadText(folder / "136X0042.igc"), state.trackLog.rawIgc.text);
    EXPECT_EQ(state.settings.igcFlightNo, "2");
    EXPECT_EQ(state.settings.igcSaveMask, 1 | 4);
    EXPECT_TRUE(state.trackLog.saved);
}

TEST_F(WindowTest, AnimationTrackAndBatchConversionFromTheMenu) {
    LoadFlight("marcourt.igc");
    const std::filesystem::path folder = TempFolder("animation");
    host.saveDialogHook = [&](const FileDialogRequest&) {
        return std::optional<FileDialogResult>(FileDialogResult{folder / "anim", 1});
    };
    window->List().selectAll();
    EXPECT_TRUE(window->RunCommand(40188));
    const std::string animation = ReadText(folder / "anim.kml");
    EXPECT_EQ(CountOccurrences(animation, "<when>"), 221u);
    EXPECT_EQ(CountOccurrences(animation, "<gx:coord>"), 221u);

    std::filesystem::copy_file(test_support::Fixture("marcourt.igc"), folder / "one.igc");
    std::filesystem::copy_file(test_support::Fixture("xctrack-2022-04-07.igc"), folder / "two.igc");
    host.openFilesHook = [&](const FileDialogRequest& request) {
        EXPECT_EQ(request.title, "Convert .igc files to .kml");
        return std::vector<std::filesystem::path>{folder / "one.igc", folder / "two.igc"};
    };
    EXPECT_TRUE(window->RunCommand(40171));
    EXPECT_TRUE(std::filesystem::exists(folder / "one.kml"));
    EXPECT_TRUE(std::filesystem::exists(folder / "two.kml"));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(),
              (test_support::Message{"Convert .igc files to .kml", "2 file(s) converted"}));
}

// A KML trip document opens as a track log, and "&Convert .kml files to .igc" writes its track
// as an IGC file beside it.
TEST_F(WindowTest, KmlFilesOpenAndConvertToIgcFromTheMenu) {
    const std::filesystem::path folder = TempFolder("kml-open");
    std::filesystem::copy_file(test_support::Fixture("marcourt.igc"), folder / "one.igc");
    host.openFilesHook = [&](const FileDialogRequest&) {
        return std::vector<std::filesystem::path>{folder / "one.igc"};
    };
    ASSERT_TRUE(window->RunCommand(40171));
    ASSERT_TRUE(std::filesystem::exists(folder / "one.kml"));
    std::filesystem::remove(folder / "one.igc");

    host.openDialogHook = [&](const FileDialogRequest& request) {
        EXPECT_EQ(request.title, "Read track log file");
        EXPECT_GE(request.filters.size(), 2u);
        EXPECT_EQ(request.filters[1].extension, "kml");
        return std::optional<FileDialogResult>(FileDialogResult{folder / "one.kml", 2});
    };
    messages.clear();
    EXPECT_TRUE(window->RunCommand(40117));
    EXPECT_EQ(state.trackLog.points.size(), 221u);
    EXPECT_TRUE(messages.empty()) << messages.front().text;

    host.openFilesHook = [&](const FileDialogRequest& request) {
        EXPECT_EQ(request.title, "Convert .kml files to .igc");
        return std::vector<std::filesystem::path>{folder / "one.kml"};
    };
    EXPECT_TRUE(window->RunCommand(40170));
    const std::string igc = ReadText(folder / "one.igc");
    EXPECT_EQ(CountOccurrences(igc, "\r\nB"), 221u);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(),
              (test_support::Message{"Convert .kml files to .igc", "1 file(s) converted"}));
}

TEST_F(WindowTest, FilterSettingsFromTheMenuCarryTheirCheckMarks) {
    state.settings.logFilter = 1;
    state.settings.varioFilter = 0;
    window->SetView(ListView::kTrackLog);
    QAction* speed = window->CommandAction(40088);
    QAction* vario = window->CommandAction(40172);
    ASSERT_TRUE(window->RunCommand(40088));
    EXPECT_EQ(state.settings.logFilter, 0);
    EXPECT_FALSE(speed->isChecked());
    ASSERT_TRUE(window->RunCommand(40088));
    EXPECT_EQ(state.settings.logFilter, 1);
    EXPECT_TRUE(speed->isChecked());

    EXPECT_FALSE(vario->isChecked());
    OnNextModal([](QDialog& dialog) {
        auto* input = qobject_cast<QInputDialog*>(&dialog);
        ASSERT_NE(input, nullptr);
        input->setIntValue(5);
        input->accept();
    });
    ASSERT_TRUE(window->RunCommand(40172));
    EXPECT_EQ(state.settings.varioFilter, 5);
    EXPECT_TRUE(vario->isChecked());
}

// The online-contest dialog on the instrument's IGC text: the scoring, the best result, the
// checks of the pilot's values and the submission file with the IGC text.
TEST_F(WindowTest, OlcStatisticsScoreTheIgcBufferAndSaveTheSubmission) {
    const std::string flight =
        ReadText(std::filesystem::path(TRACORA_FIXTURES_DIR) / "real" / "igc" / "d3p.igc");
    state.settings = DefaultSettings();
    EXPECT_TRUE(window->RunCommand(40095));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(),
              (test_support::Message{"Initialize OLC statistics", "No raw IGC buffer stored"}));
    state.trackLog.rawIgc.text = flight;
    ASSERT_TRUE(window->RunCommand(40095));
    OlcDialog* dialog = window->Olc();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(
        WaitUntil([dialog] { return dialog->Finished() && dialog->Value("Best result") != "-"; }));
    // The same points as the command line's scoring of the file.
    analysis::OlcResults expected;
    igc::IgcParseResult parsed;
    ASSERT_GT(igc::ParseIgc(flight, parsed), 0);
    analysis::CancelFlag cancel{0};
    ASSERT_EQ(analysis::RunOlcOptimisation(parsed.points, expected, 2, {}, cancel), 0);
    EXPECT_EQ(dialog->Value("Best result"),
              QString::fromStdString(
                  StringPrintf("free distance, %.2f points", expected.freeDistancePoints)));
    EXPECT_EQ(dialog->StatusText(), QString::fromStdString(analysis::OlcBestText(expected)));
    EXPECT_EQ(dialog->ProgressText(), "Done: 100 %");
    EXPECT_FALSE(dialog->HaltButton()->isEnabled());
    QDir().mkpath(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    ASSERT_TRUE(dialog->grab().save(QStringLiteral(TRACORA_SCREENSHOT_DIR "/olc.png")));

    const std::filesystem::path folder = TempFolder("olc");
    std::string proposed;
    host.saveDialogHook = [&](const FileDialogRequest& request) {
        proposed = request.proposedName;
        return std::optional<FileDialogResult>(FileDialogResult{folder / "d3p", 1});
    };
    dialog->Save(true);
    EXPECT_EQ(messages.back(),
              (test_support::Message{"User information input", "Missing first name"}));
    dialog->Field("First name")->setText("Anna");
    dialog->Field("Last name")->setText("Rossi");
    dialog->Field("Birth date (dd.mm.yy)")->setText("4.7.81");
    dialog->Field("Glider type")->setText("Sky & Co+");
    dialog->Field("Start place")->setText("Gerlitzen");
    dialog->Field("Flight number (1-35)")->setText("36");
    dialog->Save(true);
    EXPECT_EQ(messages.back(),
              (test_support::Message{"User information input", "Flight number out of range"}));
    dialog->Field("Flight number (1-35)")->setText("2");
    dialog->RegionBox()->setCurrentIndex(dialog->RegionBox()->findData(QStringLiteral("AT")));
    dialog->Save(true);
    // The short form of the IGC name unless "Long file name" is checked: 2019-06-15 as 9, 6,
    // F, the recorder's serial GPB, flight 2.
    EXPECT_EQ(proposed, "96FXGPB2.olc");
    EXPECT_EQ(messages.back(), (test_support::Message{"Save OLC data", "File written"}));
    const std::string olcText = ReadText(folder / "d3p.olc");
    EXPECT_TRUE(
        olcText.starts_with("OLCvnolc=Anna&na=Rossi&geb=04.07.81&gty=Sky%20%26%20Co%2B"
                            "&sta=Gerlitzen&region=AT&gid=&klasse=3"
                            "&igcfn=96FXGPB2.igc&flugzeug=1"))
        << olcText.substr(0, 200);
    EXPECT_NE(olcText.find("&IGCigcIGC=AXSDGPB%0D%0A"), std::string::npos);
    EXPECT_EQ(state.settings.olcFirstName, "Anna");
    EXPECT_EQ(state.settings.olcRegion, "AT");
    dialog->close();
    EXPECT_TRUE(WaitUntil([this] { return window->Olc() == nullptr; }));
}

TEST_F(WindowTest, OlcStatisticsOfTheSelectionNeedFivePositions) {
    LoadFlight("marcourt.igc");
    EXPECT_TRUE(window->RunCommand(40094));
    EXPECT_EQ(messages.back(),
              (test_support::Message{"Initialize OLC statistics", "No position(s) selected"}));
    window->List().selectRow(3);
    for (int row = 4; row <= 6; ++row) {
        window->List().selectionModel()->select(
            window->Model(ListView::kTrackLog).index(row, 0),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    EXPECT_TRUE(window->RunCommand(40094));
    EXPECT_EQ(messages.back(), (test_support::Message{"Initialize OLC statistics",
                                                      "Number of positions must be 5 or more"}));
    EXPECT_EQ(window->Olc(), nullptr);
}

// The exact check box of the online-contest dialog: the proven optimum over every fix follows
// the two-stage search, and the best result follows it (the command line's olc --exact).
TEST_F(WindowTest, OlcStatisticsProveTheOptimumWhenAsked) {
    state.trackLog.rawIgc.text =
        ReadText(std::filesystem::path(TRACORA_FIXTURES_DIR) / "real" / "igc" / "d3p.igc");
    ASSERT_TRUE(window->RunCommand(40095));
    OlcDialog* dialog = window->Olc();
    ASSERT_NE(dialog, nullptr);
    bool exactDone = false;
    QObject::connect(dialog, &OlcDialog::ExactDone, [&exactDone] { exactDone = true; });
    dialog->ExactBox()->setChecked(true);
    ASSERT_TRUE(WaitUntil([&exactDone] { return exactDone; }));
    igc::IgcParseResult parsed;
    ASSERT_GT(igc::ParseIgc(state.trackLog.rawIgc.text, parsed), 0);
    analysis::OlcResults expected;
    analysis::CancelFlag cancel{0};
    ASSERT_EQ(analysis::RunOlcOptimisation(parsed.points, expected, 2, {}, cancel), 0);
    analysis::ExactOptions options;
    options.rules = analysis::ExactRules::Olc;
    const analysis::OptimisationResults seeds = analysis::OlcSeeds(expected);
    analysis::ApplyExactResults(expected,
                                analysis::SolveExactAll(parsed.points, options, cancel, &seeds));
    EXPECT_TRUE(dialog->Value("Exact FAI triangle").endsWith("(optimal)"));
    EXPECT_EQ(dialog->Value("Exact FAI triangle"),
              QString::fromStdString(
                  StringPrintf("%.2f km (optimal)", expected.exactResults.fai.score / 1000)));
    EXPECT_EQ(dialog->StatusText(), QString::fromStdString(analysis::OlcBestText(expected)));
    EXPECT_FALSE(dialog->HaltButton()->isEnabled());
    dialog->close();
}

}  // namespace
}  // namespace tracora::app
