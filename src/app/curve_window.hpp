// The curve window: the vario, glide or polar curve of the selected positions, its extremes,
// and a read-out of what lies under the pointer. One exists at a time.
#pragma once

#include <QWidget>

#include "analysis/flight_curves.hpp"
#include "documents/curve_plot.hpp"

class QLabel;

namespace tracora::app {

class CurvePlotView : public QWidget {
    Q_OBJECT
public:
    CurvePlotView(const analysis::CurveData& curve, documents::CurvePlot plot, QWidget* parent);

    const documents::CurvePlot& Plot() const { return plot_; }
    // The read-out for a pointer at `position` in this widget ("12:34:56   1.25 m/s  (1.30)").
    QString ReadoutAt(QPointF position) const;

signals:
    void PointerMoved(const QString& readout);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    const analysis::CurveData& data_;
    documents::CurvePlot plot_;
};

class CurveWindow : public QWidget {
    Q_OBJECT
public:
    CurveWindow(analysis::CurveData curve, QWidget* parent = nullptr);

    const analysis::CurveData& Data() const { return data_; }
    CurvePlotView& View() const { return *view_; }
    QString ReadoutText() const;
    QString NotesText() const;

private:
    analysis::CurveData data_;
    CurvePlotView* view_ = nullptr;
    QLabel* notes_ = nullptr;
    QLabel* readout_ = nullptr;
};

}  // namespace tracora::app
