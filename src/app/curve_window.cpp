#include "app/curve_window.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tracora::app {

namespace {

const QColor kCurveColour(0x1f, 0x5f, 0xbf);
const QColor kGridColour(0xdd, 0xdd, 0xdd);

}  // namespace

CurvePlotView::CurvePlotView(const analysis::CurveData& curve, documents::CurvePlot plot,
                             QWidget* parent)
    : QWidget(parent), data_(curve), plot_(std::move(plot)) {
    setMouseTracking(true);
    setMinimumSize(400, 240);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

QString CurvePlotView::ReadoutAt(QPointF position) const {
    const documents::PlotFrame frame = documents::PlotFrame::For(width(), height());
    const double pointerValue = frame.ValueAtY(plot_, position.y());
    if (data_.kind == analysis::CurveKind::kPolar) {
        return QString::fromStdString(
            analysis::PolarReadout(frame.ValueAtX(plot_, position.x()), pointerValue));
    }
    const analysis::SecondSeries& series = data_.seconds;
    if (series.value.empty())
        return {};
    const double second = std::round(frame.ValueAtX(plot_, position.x()));
    const auto k = static_cast<std::size_t>(
        std::clamp(second, 0.0, static_cast<double>(series.value.size() - 1)));
    const auto time = series.startTime + static_cast<std::uint32_t>(k);
    return QString::fromStdString(
        data_.kind == analysis::CurveKind::kVario
            ? analysis::VarioReadout(time, series.value[k], pointerValue)
            : analysis::GlideReadout(time, series.value[k], pointerValue));
}

void CurvePlotView::mouseMoveEvent(QMouseEvent* event) {
    emit PointerMoved(ReadoutAt(event->position()));
}

void CurvePlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const documents::PlotFrame frame = documents::PlotFrame::For(width(), height());
    const QRectF area(frame.left, frame.top, frame.width, frame.height);
    const QFontMetrics metrics = painter.fontMetrics();

    for (const documents::PlotTick& tick : plot_.xTicks) {
        const double x = frame.X(plot_, tick.at);
        painter.setPen(kGridColour);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        painter.setPen(palette().color(QPalette::Text));
        const QString label = QString::fromStdString(tick.label);
        painter.drawText(
            QPointF(x - metrics.horizontalAdvance(label) / 2.0, area.bottom() + metrics.height()),
            label);
    }
    for (const documents::PlotTick& tick : plot_.yTicks) {
        const double y = frame.Y(plot_, tick.at);
        painter.setPen(tick.at == 0 ? Qt::gray : kGridColour);
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(palette().color(QPalette::Text));
        const QString label = QString::fromStdString(tick.label);
        painter.drawText(
            QPointF(area.left() - 6 - metrics.horizontalAdvance(label), y + metrics.ascent() / 2.0),
            label);
    }
    painter.setPen(palette().color(QPalette::Text));
    painter.drawRect(area);
    painter.drawText(QPointF(4, area.top() - 8), QString::fromStdString(plot_.yAxis));
    const QString xAxis = QString::fromStdString(plot_.xAxis);
    painter.drawText(QPointF(area.right() - metrics.horizontalAdvance(xAxis),
                             area.bottom() + 2 * metrics.height()),
                     xAxis);

    painter.setClipRect(area.adjusted(-3, -3, 3, 3));
    painter.setPen(QPen(kCurveColour, 1));
    if (plot_.marks) {
        painter.setBrush(kCurveColour);
        for (const auto& [px, py] : plot_.points)
            painter.drawEllipse(QPointF(frame.X(plot_, px), frame.Y(plot_, py)), 1.8, 1.8);
    } else if (!plot_.points.empty()) {
        // One vertex a pixel column is enough to show a long flight's every extreme: the
        // column's smallest and greatest values are kept.
        QPainterPath path;
        bool started = false;
        int column = -1;
        double low = 0, high = 0;
        const auto flush = [&] {
            if (column < 0)
                return;
            const QPointF top(column, frame.Y(plot_, high));
            const QPointF bottom(column, frame.Y(plot_, low));
            if (!started) {
                path.moveTo(top);
                started = true;
            } else {
                path.lineTo(top);
            }
            path.lineTo(bottom);
        };
        for (const auto& [px, py] : plot_.points) {
            const int x = static_cast<int>(std::lround(frame.X(plot_, px)));
            if (x != column) {
                flush();
                column = x;
                low = high = py;
            } else {
                low = std::min(low, py);
                high = std::max(high, py);
            }
        }
        flush();
        painter.drawPath(path);
    }
    painter.setBrush(Qt::NoBrush);
    const QColor extremeColours[] = {QColor(0xcc, 0, 0), QColor(0, 0x88, 0)};
    for (std::size_t i = 0; i < plot_.extremes.size() && i < 2; ++i) {
        painter.setPen(QPen(extremeColours[i], 1.5));
        const auto& [ex, ey] = plot_.extremes[i];
        painter.drawEllipse(QPointF(frame.X(plot_, ex), frame.Y(plot_, ey)), 4, 4);
    }
}

CurveWindow::CurveWindow(analysis::CurveData curve, QWidget* parent)
    : QWidget(parent, Qt::Window), data_(std::move(curve)) {
    documents::CurvePlot plot = documents::BuildCurvePlot(data_);
    setWindowTitle(QString::fromStdString(plot.title));
    auto* layout = new QVBoxLayout(this);
    notes_ = new QLabel(this);
    QStringList notes;
    for (const std::string& note : plot.notes)
        notes << QString::fromStdString(note);
    notes_->setText(notes.join("      "));
    layout->addWidget(notes_);
    view_ = new CurvePlotView(data_, std::move(plot), this);
    layout->addWidget(view_, 1);
    readout_ = new QLabel(this);
    readout_->setMinimumWidth(300);
    layout->addWidget(readout_);
    connect(view_, &CurvePlotView::PointerMoved, readout_, &QLabel::setText);
    resize(900, 480);
}

QString CurveWindow::ReadoutText() const {
    return readout_->text();
}

QString CurveWindow::NotesText() const {
    return notes_->text();
}

}  // namespace tracora::app
