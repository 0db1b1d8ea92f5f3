// The Monitor window: the drive's values as the catalogue names them,
// ticked in a list that shows each one's last reading, read again and again
// by the session and plotted against time, one plot per unit. Start, Pause,
// Clear, CSV export, the reading interval and the Connection panel sit in
// its tool bar, each reached by Tab or a key of its own; the values and the
// plot follow the text zoom. It owns the session; the link and the ports are
// the application's.
#pragma once

#include "monitor/monitor_csv.h"
#include "monitor/monitor_session.h"
#include "monitor/plot_view.h"

#include <QMainWindow>
#include <QTimer>

class QAction;
class QComboBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace kt::connection {
class ConnectionPanel;
}
namespace kt::link {
class PortDirectory;
}
namespace kt::platform {
class PromptService;
}

namespace kt::monitor {

class FrmMonitor : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kRepaintMs = 40; // 25 pictures a second

    FrmMonitor(link::FrmMotorCom& link, link::PortDirectory& ports,
               platform::PromptService& prompts, QWidget* parent = nullptr);
    ~FrmMonitor() override;

    MonitorSession& Session() { return *m_session; }
    PlotView& Plot() { return *m_plot; }
    connection::ConnectionPanel& Connection() { return *m_connection; }

    // Ticks exactly these channels (indexes into MonitorSession::Channels()).
    void Choose(const std::vector<int>& channels);
    // Ticks exactly the channels these names stand for, by any name
    // drivemap::Find accepts; false when a name stands for none.
    bool Choose(const QStringList& names);
    // The chooser's text of a channel: "BusVolt [V]", and its last reading.
    QString ChooserText(int channel, int column = 0) const;
    void Start();
    void Pause();
    void Clear();
    bool ExportCsv();
    QString StatusText() const;
    // The status line while paused: how many reads were made, and how much
    // of them is kept, and kept in full, once that is not all.
    static QString PausedText(qint64 reads, const MonitorSession::Kept& kept);
    QAction* StartAction() const { return m_start; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildChooser();
    void ChosenChanged();
    void ShowRunning(bool running);
    void ShowStopped(const QString& why);
    // Sizes that follow the text zoom.
    void FitToFont();
    void Repaint();
    void ShowLastRead();
    void ShowCursor(qint64 msecs);
    std::vector<PlotTrace> Traces() const;
    std::vector<RecordedValue> Recorded() const;

    platform::PromptService& m_prompts;
    std::unique_ptr<MonitorSession> m_session;
    PlotView* m_plot;
    QTreeWidget* m_chooser;
    std::vector<QTreeWidgetItem*> m_items; // one per channel
    connection::ConnectionPanel* m_connection;
    QComboBox* m_interval;
    QAction* m_start;
    QAction* m_pause;
    QLabel* m_status;
    QString m_stoppedWhy;
    QTimer m_repaint;
    qint64 m_paintedReads = -1;
};

} // namespace kt::monitor
