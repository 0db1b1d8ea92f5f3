// The "Communication" window: every exchange over the link as a row, live,
// with Pause (events meanwhile are dropped and counted), Clear, Copy and
// Save as text in the link log's own lines; its text follows the text zoom.
// A link observer and a view; it never sends anything nor changes an
// exchange.
#pragma once

#include "link/link_observer.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableView;

namespace kt::platform {
class PromptService;
}

namespace kt::link {
class FrmMotorCom;
}

namespace kt::monitor {

class CommunicationModel;

class FrmCommunication : public QWidget, public link::LinkObserver {
    Q_OBJECT

public:
    explicit FrmCommunication(platform::PromptService& prompts, QWidget* owner = nullptr);
    ~FrmCommunication() override;

    void Observe(const link::LinkEvent& event) override;

    // Observes link from now on, until Detach or this window goes. The link
    // may go first.
    void Attach(link::FrmMotorCom& link);
    void Detach();

    void SetPaused(bool paused);
    bool Paused() const { return m_paused; }
    // Events dropped since the last Clear because the window was paused.
    qint64 Dropped() const { return m_dropped; }
    void Clear();
    // The selected rows, or every row when none is selected, as text lines
    // on the clipboard.
    void Copy();
    // Asks for a file and writes every row to it; false when cancelled or
    // refused, the refusal told.
    bool SaveAs();

    const CommunicationModel& Model() const { return *m_model; }
    QTableView& Table() const { return *m_table; }
    QString StatusText() const;

private:
    void ShowStatus();
    // Column widths, row heights and the least size for the log's text size.
    void FitToFont();
    QStringList CopiedLines() const;

    platform::PromptService& m_prompts;
    CommunicationModel* m_model;
    QTableView* m_table;
    QPushButton* m_pause;
    QLabel* m_status;
    QPointer<link::FrmMotorCom> m_link;
    bool m_paused = false;
    qint64 m_dropped = 0;
};

} // namespace kt::monitor
