#include "monitor/frm_monitor.h"

#include "connection/connection_panel.h"
#include "monitor/save_export.h"
#include "platform/announce.h"
#include "platform/prompt_service.h"
#include "platform/text_zoom.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>

#include <tuple>

namespace kt::monitor {

FrmMonitor::FrmMonitor(link::FrmMotorCom& link, link::PortDirectory& ports,
                       platform::PromptService& prompts, QWidget* parent)
    : QMainWindow(parent), m_prompts(prompts),
      m_session(std::make_unique<MonitorSession>(link, prompts)), m_plot(new PlotView(this)),
      m_chooser(new QTreeWidget(this)),
      m_connection(new connection::ConnectionPanel(link, ports, this)),
      m_interval(new QComboBox(this)), m_status(new QLabel(this)) {
    setWindowTitle(tr("Monitor"));

    auto* bar = addToolBar(tr("Monitor"));
    bar->setObjectName(QStringLiteral("MonitorBar"));
    m_start = bar->addAction(tr("&Start"), this, &FrmMonitor::Start);
    m_pause = bar->addAction(tr("&Pause"), this, &FrmMonitor::Pause);
    QAction* clear = bar->addAction(tr("C&lear"), this, &FrmMonitor::Clear);
    QAction* exportCsv = bar->addAction(tr("&Export CSV..."), this, [this] { ExportCsv(); });
    QAction* follow = bar->addAction(tr("&Follow"), this, [this] { m_plot->SetFollowing(true); });
    // Keys of this window's own; the tool buttons are reached by Tab as well.
    for (const auto& [action, key, tip] :
         {std::tuple{m_start, QKeySequence(Qt::CTRL | Qt::Key_R), tr("Start reading")},
          std::tuple{m_pause, QKeySequence(Qt::CTRL | Qt::Key_P), tr("Pause reading")},
          std::tuple{exportCsv, QKeySequence(Qt::CTRL | Qt::Key_E),
                     tr("Export the recording as CSV")}}) {
        action->setShortcut(key);
        action->setToolTip(
            QStringLiteral("%1 (%2)").arg(tip, key.toString(QKeySequence::NativeText)));
    }
    QList<QWidget*> order;
    for (QAction* action : {m_start, m_pause, clear, exportCsv, follow}) {
        order << bar->widgetForAction(action);
        order.back()->setFocusPolicy(Qt::TabFocus);
    }
    bar->addSeparator();
    m_interval->addItem(tr("As fast as the line allows"), 0);
    for (int ms : {50, 100, 250, 500, 1000, 5000})
        m_interval->addItem(ms < 1000 ? tr("Every %1 ms").arg(ms) : tr("Every %1 s").arg(ms / 1000),
                            ms);
    connect(m_interval, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_session->SetInterval(m_interval->itemData(index).toInt()); });
    // Named for every platform: some take a box's name from its label only.
    m_interval->setAccessibleName(tr("Reading interval"));
    auto* every = new QLabel(tr("Interval:"), this);
    every->setBuddy(m_interval);
    every->setContentsMargins(4, 0, 4, 0);
    bar->addWidget(every);
    bar->addWidget(m_interval);
    bar->addSeparator();
    bar->addWidget(m_connection);

    BuildChooser();
    m_plot->SetEmptyText(tr("Tick values and press Start."));
    auto* split = new QSplitter(this);
    split->setChildrenCollapsible(false);
    split->addWidget(m_chooser);
    split->addWidget(m_plot);
    split->setStretchFactor(1, 1);
    setCentralWidget(split);
    statusBar()->addWidget(m_status, 1);

    // Along the tool bar, then the values and their plot.
    order << m_interval << m_connection->Chooser() << m_connection->RescanButton() << m_chooser
          << m_plot;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    platform::TextZoom& zoom = platform::TextZoom::Instance();
    for (QWidget* widget : std::initializer_list<QWidget*>{m_chooser, m_plot, m_status})
        zoom.Follow(widget);
    connect(&zoom, &platform::TextZoom::changed, this, &FrmMonitor::FitToFont);
    zoom.AddActions(this);

    connect(m_session.get(), &MonitorSession::runningChanged, this, &FrmMonitor::ShowRunning);
    connect(m_session.get(), &MonitorSession::stopped, this, &FrmMonitor::ShowStopped);
    connect(m_plot, &PlotView::cursorMoved, this, &FrmMonitor::ShowCursor);
    connect(m_plot, &PlotView::cursorLeft, this, [this] { m_status->setText(m_stoppedWhy); });
    // Pictures come at a steady rate, not one per read: the line can give
    // two hundred reads a second.
    m_repaint.setInterval(kRepaintMs);
    connect(&m_repaint, &QTimer::timeout, this, &FrmMonitor::Repaint);
    m_repaint.start();
    ShowRunning(false);
    FitToFont();
    resize(1100, 650);
}

FrmMonitor::~FrmMonitor() = default;

void FrmMonitor::BuildChooser() {
    m_chooser->setColumnCount(2);
    m_chooser->setHeaderLabels({tr("Value"), tr("Last read")});
    QTreeWidgetItem* group = nullptr;
    const auto& channels = MonitorSession::Channels();
    for (const MonitorChannel& channel : channels) {
        if (!group || group->text(0) != channel.group) {
            group = new QTreeWidgetItem(m_chooser, {channel.group});
            group->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
            group->setCheckState(0, Qt::Unchecked);
        }
        const QString unit = channel.ReadingUnit();
        auto* item = new QTreeWidgetItem(
            group,
            {unit.isEmpty() ? channel.name : QStringLiteral("%1 [%2]").arg(channel.name, unit)});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        m_items.push_back(item);
    }
    m_chooser->expandAll();
    m_chooser->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Stretched, the readings' column would keep a width of its own.
    m_chooser->header()->setStretchLastSection(false);
    m_chooser->setAccessibleName(tr("Values"));
    m_chooser->setAccessibleDescription(
        tr("Tick the values to read and plot, with Space; each one's last reading beside it."));
    connect(m_chooser, &QTreeWidget::itemChanged, this, [this] { ChosenChanged(); });
}

void FrmMonitor::Choose(const std::vector<int>& channels) {
    {
        const QSignalBlocker blocker(m_chooser);
        for (QTreeWidgetItem* item : m_items)
            item->setCheckState(0, Qt::Unchecked);
        for (int channel : channels)
            if (channel >= 0 && channel < static_cast<int>(m_items.size()))
                m_items[static_cast<std::size_t>(channel)]->setCheckState(0, Qt::Checked);
    }
    ChosenChanged();
}

bool FrmMonitor::Choose(const QStringList& names) {
    std::vector<int> channels;
    bool all = true;
    for (const QString& name : names) {
        const std::vector<int> named = MonitorSession::ChannelsNamed(name.toStdString());
        all = all && !named.empty();
        channels.insert(channels.end(), named.begin(), named.end());
    }
    Choose(channels);
    return all;
}

QString FrmMonitor::ChooserText(int channel, int column) const {
    return channel >= 0 && channel < static_cast<int>(m_items.size())
               ? m_items[static_cast<std::size_t>(channel)]->text(column)
               : QString();
}

void FrmMonitor::ChosenChanged() {
    std::vector<int> chosen;
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->checkState(0) == Qt::Checked)
            chosen.push_back(static_cast<int>(i));
    m_session->SetChosen(chosen);
    m_plot->SetTraces(Traces());
    m_start->setEnabled(!m_session->Running() && !chosen.empty());
}

std::vector<PlotTrace> FrmMonitor::Traces() const {
    std::vector<PlotTrace> traces;
    const auto& channels = MonitorSession::Channels();
    for (int channel : m_session->Chosen()) {
        const MonitorChannel& c = channels[static_cast<std::size_t>(channel)];
        traces.push_back({c.name, c.unit, c.Bit(), &m_session->History(channel),
                          [&c](double reading) { return c.Text(reading); }, c.ReadingUnit()});
    }
    return traces;
}

std::vector<RecordedValue> FrmMonitor::Recorded() const {
    std::vector<RecordedValue> recorded;
    for (int channel : m_session->Chosen())
        recorded.push_back({MonitorSession::Channels()[static_cast<std::size_t>(channel)].ref,
                            &m_session->History(channel)});
    return recorded;
}

void FrmMonitor::Start() {
    m_stoppedWhy.clear();
    m_status->setText(tr("Looking for the drive..."));
    m_session->Start();
    m_connection->ShowFound();
}

void FrmMonitor::Pause() {
    m_session->Stop();
}

void FrmMonitor::Clear() {
    m_session->Clear();
    m_plot->update();
    ShowLastRead();
}

bool FrmMonitor::ExportCsv() {
    return SaveExport(m_prompts,
                      {.title = tr("Export the recording as CSV"),
                       .initialFile = QStringLiteral("monitor.csv"),
                       .filter = QStringLiteral("CSV (*.csv)|*.csv|AllFile (*.*)|*.*")},
                      MonitorCsv(Recorded()));
}

QString FrmMonitor::StatusText() const {
    return m_status->text();
}

void FrmMonitor::ShowRunning(bool running) {
    m_start->setEnabled(!running && !m_session->Chosen().empty());
    m_pause->setEnabled(running);
    m_interval->setEnabled(true);
    if (running)
        m_status->setText(tr("Reading..."));
    else if (m_stoppedWhy.isEmpty())
        m_status->setText(PausedText(m_session->Reads(), m_session->KeptSpan()));
}

QString FrmMonitor::PausedText(qint64 reads, const MonitorSession::Kept& kept) {
    if (reads == 0)
        return tr("Tick values and press Start.");
    if (kept.whole)
        return tr("Paused: %1 reads recorded.").arg(reads);
    auto seconds = [&](qint64 from) {
        return QString::number(static_cast<double>(kept.lastMsecs - from) / 1000.0, 'f', 1);
    };
    return tr("Paused: %1 reads; the last %2 s are kept, the last %3 s of them in full.")
        .arg(reads)
        .arg(seconds(kept.firstMsecs), seconds(kept.fullFromMsecs));
}

void FrmMonitor::ShowStopped(const QString& why) {
    // Said once, in the window: a box per failed read would pile up, and the
    // user restarts when the drive is back.
    m_stoppedWhy = why;
    m_status->setText(why);
    platform::Announce(m_status, why);
    m_connection->ShowFound();
}

void FrmMonitor::FitToFont() {
    // The names in full and room for a reading, whatever the text's size.
    const QHeaderView* header = m_chooser->header();
    const int reading =
        std::max(header->sectionSizeHint(1),
                 m_chooser->fontMetrics().horizontalAdvance(QStringLiteral("-88888.888")) + 12);
    m_chooser->setMinimumWidth(
        std::max(header->sectionSizeHint(0),
                 static_cast<const QAbstractItemView*>(m_chooser)->sizeHintForColumn(0)) +
        reading + m_chooser->verticalScrollBar()->sizeHint().width() + 2 * m_chooser->frameWidth());
}

void FrmMonitor::Repaint() {
    if (m_session->Reads() == m_paintedReads)
        return;
    m_paintedReads = m_session->Reads();
    m_plot->update();
    ShowLastRead();
}

void FrmMonitor::ShowLastRead() {
    // A text is no change of what is ticked.
    const QSignalBlocker blocker(m_chooser);
    const auto& channels = MonitorSession::Channels();
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const SampleHistory& history = m_session->History(static_cast<int>(i));
        m_items[i]->setText(1, history.Empty()
                                   ? QString()
                                   : channels[i].Text(history.At(history.Size() - 1).value));
    }
}

void FrmMonitor::ShowCursor(qint64 msecs) {
    m_status->setText(
        QStringLiteral("%1 s   ").arg(static_cast<double>(msecs) / 1000.0, 0, 'f', 3) +
        m_plot->CursorValues(msecs).join(QStringLiteral("   ")));
}

void FrmMonitor::closeEvent(QCloseEvent* event) {
    // Reading stops with the window; the recording stays for the next show.
    m_session->Stop();
    event->accept();
}

} // namespace kt::monitor
