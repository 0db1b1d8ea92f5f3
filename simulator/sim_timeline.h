// The simulator window's timeline: chosen values of the recorded run drawn
// as step curves over its recorded span, on the Monitor's plot, with a line
// where the run stands. Values are picked from the drive's catalogue under
// "Plot" and removed again. Times on the plot count from the run's start,
// as the window's time label does.
// Not the recording: the window's RunHistory holds the run; the timeline
// asks it for curves only while it is live (the run it recorded is the one
// in the interpreter) and asks the window to move the run when a time is
// clicked.
#pragma once

#include "drivemap/drive_catalogue.h"

#include <QGroupBox>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class QPushButton;

namespace kt::monitor {
class PlotView;
class SampleHistory;
} // namespace kt::monitor
namespace kt::sim {
class RunHistory;
}

namespace kt::simulator {

class SimTimeline : public QGroupBox {
    Q_OBJECT

public:
    SimTimeline(sim::RunHistory& history, QWidget* parent = nullptr);
    ~SimTimeline() override;

    // The run's moment 0 on the plot, in the interpreter's milliseconds.
    void SetOrigin(std::uint64_t originMs) { m_originMs = originMs; }
    // Live: the history records the run in the interpreter now. Not live,
    // the curves stay as drawn last and the marker goes.
    void SetLive(bool live);
    // The curves again from the history and the marker at its present
    // moment; nothing while not live.
    void Update();

    // False if it is already plotted or has no reading to plot.
    bool Add(const drivemap::ValueRef& ref);
    bool Remove(const drivemap::ValueRef& ref);
    const std::vector<drivemap::ValueRef>& Plotted() const { return m_plotted; }

    QComboBox* PlotBox() const { return m_box; }
    QPushButton* RemoveButton() const { return m_remove; }
    monitor::PlotView* Plot() const { return m_plot; }

signals:
    // A click on the plot at a moment of the run, in the interpreter's
    // milliseconds.
    void timeClicked(std::uint64_t timeMs);

private:
    void SetTraces();
    void UpdateRemove();
    // The value the picker names, if any.
    std::optional<drivemap::ValueRef> Chosen() const;

    sim::RunHistory& m_history;
    std::uint64_t m_originMs = 0;
    bool m_live = false;
    // The span the plot was last set to show; a different one is the user's.
    std::optional<std::pair<qint64, qint64>> m_view;
    std::vector<drivemap::ValueRef> m_choices; // the picker's, in its order
    std::vector<drivemap::ValueRef> m_plotted;
    // One per plotted value, in the same order; the plot points at them.
    std::vector<std::unique_ptr<monitor::SampleHistory>> m_samples;

    QComboBox* m_box = nullptr;
    QPushButton* m_remove = nullptr;
    monitor::PlotView* m_plot = nullptr;
};

} // namespace kt::simulator
