#include "monitor/frm_communication.h"

#include "link/frm_motor_com.h"
#include "monitor/communication_model.h"
#include "monitor/save_export.h"
#include "platform/prompt_service.h"

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
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Seconds of a day-long log, with their milliseconds.
    m_table->setColumnWidth(
        CommunicationModel::kTime,
        m_table->fontMetrics().horizontalAdvance(QStringLiteral("88888.888 s")) + 12);
    m_table->setColumnWidth(CommunicationModel::kPort, 60);
    m_table->setColumnWidth(CommunicationModel::kDirection, 40);
    m_table->setColumnWidth(CommunicationModel::kBytes, 260);

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
