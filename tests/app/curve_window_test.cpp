// The curve commands in the window: the vario, glide and polar windows of the selected
// positions, one at a time, their texts and read-outs, their refusals, and the intervals
// dialog. The series themselves are checked against hand tables in the analysis tests.
#include <QDir>
#include <QLineEdit>

#include "analysis/flight_curves.hpp"
#include "app/app_test_support.hpp"

namespace tracora::app {
namespace {

using test_support::Click;
using test_support::Message;
using test_support::OnNextModal;
using test_support::WaitUntil;
using test_support::WindowTest;

TEST_F(WindowTest, CurveWindowsShowTheSelectionsCurvesOneAtATime) {
    LoadFlight("marcourt.igc");
    window->List().selectAll();
    QDir().mkpath(QStringLiteral(TRACORA_SCREENSHOT_DIR));
    const struct {
        int command;
        analysis::CurveKind kind;
        const char* shot;
    } kinds[] = {{40175, analysis::CurveKind::kVario, "/vario.png"},
                 {40176, analysis::CurveKind::kGlide, "/glide.png"},
                 {40178, analysis::CurveKind::kPolar, "/polar.png"}};
    for (const auto& k : kinds) {
        ASSERT_TRUE(window->RunCommand(k.command));
        CurveWindow* curve = window->Curve();
        ASSERT_NE(curve, nullptr);
        EXPECT_EQ(curve->windowTitle().toStdString(), analysis::CurveWindowTitle(k.kind));
        EXPECT_EQ(curve->Data().kind, k.kind);
        // A second command while the window is open does nothing.
        ASSERT_TRUE(window->RunCommand(40175));
        EXPECT_EQ(window->Curve(), curve);

        CurvePlotView& view = curve->View();
        const documents::PlotFrame frame = documents::PlotFrame::For(view.width(), view.height());
        if (k.kind == analysis::CurveKind::kPolar) {
            EXPECT_EQ(curve->Data().polar.size(), 220u);  // 221 fixes, interval 1
            EXPECT_EQ(view.ReadoutAt({frame.X(view.Plot(), 30), frame.Y(view.Plot(), -1)}),
                      "30.00 Km/h,  -1.00 m/s");
        } else {
            const analysis::SecondSeries& series = curve->Data().seconds;
            EXPECT_EQ(curve->NotesText().toStdString(),
                      analysis::CurveExtremeText(series.greatest, true) + "      " +
                          analysis::CurveExtremeText(series.smallest, false));
            // The pointer on the greatest value's second reads that second and value.
            const double x = frame.X(view.Plot(), series.greatest.time - series.startTime);
            const QString readout = view.ReadoutAt({x, frame.top});
            const std::string expected =
                k.kind == analysis::CurveKind::kVario
                    ? analysis::VarioReadout(series.greatest.time, series.greatest.value,
                                             view.Plot().yMax)
                    : analysis::GlideReadout(series.greatest.time, series.greatest.value,
                                             view.Plot().yMax);
            EXPECT_EQ(readout.toStdString(), expected);
        }
        ASSERT_TRUE(curve->grab().save(QString(TRACORA_SCREENSHOT_DIR) + k.shot));
        curve->close();
        ASSERT_TRUE(WaitUntil([this] { return window->Curve() == nullptr; }));
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, CurveCommandsRefuseWhatTheyCannotDraw) {
    LoadFlight("marcourt.igc");
    window->List().clearSelection();
    ASSERT_TRUE(window->RunCommand(40175));
    EXPECT_EQ(messages.back(), (Message{"Show vario", "No positions selected"}));
    window->List().selectRow(3);
    ASSERT_TRUE(window->RunCommand(40178));
    EXPECT_EQ(messages.back(), (Message{"Show polar", "Less than 2 positions selected"}));
    EXPECT_EQ(window->Curve(), nullptr);
}

TEST_F(WindowTest, IntervalsDialogRefusesBadInputAndChangesTheCurves) {
    LoadFlight("marcourt.igc");
    window->List().selectAll();
    bool refusedOnce = false;
    OnNextModal([&](QDialog& dialog) {
        dialog.findChild<QLineEdit*>("vario")->setText("-5");
        Click(dialog, QDialogButtonBox::AcceptRole);
        refusedOnce = dialog.isVisible();
        dialog.findChild<QLineEdit*>("vario")->setText("60");
        dialog.findChild<QLineEdit*>("polar")->setText("5");
        Click(dialog, QDialogButtonBox::AcceptRole);
    });
    ASSERT_TRUE(window->RunCommand(40177));
    EXPECT_TRUE(refusedOnce);
    EXPECT_EQ(messages, (std::vector<Message>{{"Decode input", "Bad input"}}));
    ASSERT_TRUE(window->RunCommand(40178));
    ASSERT_NE(window->Curve(), nullptr);
    EXPECT_EQ(window->Curve()->Data().polar.size(), 216u);  // 221 fixes, interval 5
}

}  // namespace
}  // namespace tracora::app
