#include "monitor/frm_communication.h"

#include "link/frm_motor_com.h"
#include "monitor/communication_model.h"
#include "monitor/save_export.h"
#include "platform/prompt_service.h"
#include "platform/text_zoom.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace kt::monitor {

FrmCommunication::FrmCommunication(platform::PromptService& prompts, QWidget* owner)
    : QWidget(owner, Qt::Window), m_prompts(prompts), m_model(new CommunicationModel(this)),
      m_table(new QTableView(this)), m_pause(new QPushButton(tr("&Pause"), this)),
      m_status(new QLabel(this)) {
    setWindowTitle(tr("Communication"));
    setObjectName(QStringLiteral("FrmCommunication"));

    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    // Rows are whole: Tab leaves the log instead of walking its cells.
    m_table->setTabKeyNavigation(false);
    m_table->verticalHeader()->hide();
    // The meaning in full: the log scrolls sideways for a long one. Measured
    // on the rows in view only, as rows come two hundred a second.
    m_table->horizontalHeader()->setSectionResizeMode(CommunicationModel::kMeaning,
                                                      QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setResizeContentsPrecision(0);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->setObjectName(QStringLiteral("log"));
    m_table->setAccessibleName(tr("Exchanges"));
    m_table->setAccessibleDescription(
        tr("Every exchange over the link, oldest first: time, port, direction, bytes and what "
           "they mean."));

    m_pause->setObjectName(QStringLiteral("pause"));
    m_pause->setCheckable(true);
    auto* clear = new QPushButton(tr("C&lear"), this);
    clear->setObjectName(QStringLiteral("clear"));
    auto* copy = new QPushButton(tr("&Copy"), this);
    copy->setObjectName(QStringLiteral("copy"));
    auto* save = new QPushButton(tr("&Save as text..."), this);
    save->setObjectName(QStringLiteral("save"));
    m_status->setObjectName(QStringLiteral("status"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pause);
    buttons->addWidget(clear);
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addStretch();
    buttons->addWidget(m_status);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_table);
    // As they stand: the buttons, then the log.
    setTabOrder(m_pause, clear);
    setTabOrder(clear, copy);
    setTabOrder(copy, save);
    setTabOrder(save, m_table);

    platform::TextZoom& zoom = platform::TextZoom::Instance();
    zoom.Follow(m_table);
    connect(&zoom, &platform::TextZoom::changed, this, &FrmCommunication::FitToFont);
    zoom.AddActions(this);
    FitToFont();

    connect(m_pause, &QPushButton::toggled, this, &FrmCommunication::SetPaused);
    connect(clear, &QPushButton::clicked, this, &FrmCommunication::Clear);
    connect(copy, &QPushButton::clicked, this, &FrmCommunication::Copy);
    connect(save, &QPushButton::clicked, this, [this] { SaveAs(); });

    resize(760, 420);
    ShowStatus();
}

FrmCommunication::~FrmCommunication() {
    Detach();
}

void FrmCommunication::Attach(link::FrmMotorCom& link) {
    Detach();
    m_link = &link;
    // Times count from here, not from when the link was made.
    if (m_model->rowCount() == 0)
        m_model->SetOrigin(link.Elapsed());
    link.AddObserver(this);
}

void FrmCommunication::Detach() {
    if (m_link)
        m_link->RemoveObserver(this);
    m_link = nullptr;
}

void FrmCommunication::Observe(const link::LinkEvent& event) {
    if (m_paused) {
        ++m_dropped;
        ShowStatus();
        return;
    }
    // Follow the newest row only when the user has not scrolled away from it.
    const QScrollBar* bar = m_table->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    m_model->Add(event);
    if (atEnd)
        m_table->scrollToBottom();
    ShowStatus();
}

void FrmCommunication::SetPaused(bool paused) {
    m_paused = paused;
    if (m_pause->isChecked() != paused)
        m_pause->setChecked(paused);
    ShowStatus();
}

void FrmCommunication::Clear() {
    m_model->Clear();
    m_dropped = 0;
    ShowStatus();
}

QStringList FrmCommunication::CopiedLines() const {
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows.append(index.row());
    if (rows.isEmpty())
        return m_model->Lines();
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (const int row : rows)
        lines.append(m_model->Line(row));
    return lines;
}

void FrmCommunication::Copy() {
    const QStringList lines = CopiedLines();
    if (lines.isEmpty())
        return;
    QApplication::clipboard()->setText(lines.join(u'\n') + u'\n');
}

bool FrmCommunication::SaveAs() {
    const QStringList lines = m_model->Lines();
    const QString text = lines.isEmpty() ? QString() : lines.join(u'\n') + u'\n';
    return SaveExport(m_prompts,
                      {.title = tr("Save communication as text"),
                       .initialFile = QStringLiteral("communication.txt"),
                       .filter = QStringLiteral("Text (*.txt)|*.txt|AllFile (*.*)|*.*")},
                      text.toUtf8());
}

void FrmCommunication::FitToFont() {
    const QFontMetrics metrics = m_table->fontMetrics();
    const auto fit = [&](int column, const QString& widest) {
        m_table->setColumnWidth(column,
                                std::max(metrics.horizontalAdvance(widest) + 12,
                                         m_table->horizontalHeader()->sectionSizeHint(column)));
    };
    // Seconds of a day-long log with their milliseconds, the search, and
    // ten bytes of a packet before the last column takes the rest.
    fit(CommunicationModel::kTime, QStringLiteral("88888.888 s"));
    fit(CommunicationModel::kPort, QStringLiteral("search"));
    fit(CommunicationModel::kDirection, QStringLiteral("<"));
    fit(CommunicationModel::kBytes, QStringLiteral("88 ").repeated(10));
    m_table->verticalHeader()->setDefaultSectionSize(metrics.height() + 4);
    int columns = 0;
    for (int column = CommunicationModel::kTime; column < CommunicationModel::kBytes + 1; ++column)
        columns += m_table->columnWidth(column);
    // Those columns and a few rows, whatever the text's size.
    m_table->setMinimumSize(columns + metrics.horizontalAdvance(QStringLiteral("read ")) * 4,
                            m_table->horizontalHeader()->sizeHint().height() +
                                5 * (metrics.height() + 4));
}

QString FrmCommunication::StatusText() const {
    return m_status->text();
}

void FrmCommunication::ShowStatus() {
    const int rows = m_model->rowCount();
    QString text = rows == 1 ? tr("1 row") : tr("%1 rows").arg(rows);
    if (m_paused)
        text += tr(", paused: %1 dropped").arg(m_dropped);
    else if (m_dropped > 0)
        text += tr(", %1 dropped while paused").arg(m_dropped);
    m_status->setText(text);
}

} // namespace kt::monitor
