#include "simulator/breakpoint_list.h"

#include "compiler/compile_messages.h"
#include "sim/program_interpreter.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>

namespace kt::simulator {

namespace {

using drivemap::ValueRef;

constexpr int kListRows = 7;

QString NameOf(const ValueRef& ref) {
    return QString::fromStdString(drivemap::Name(ref));
}

QPushButton* Button(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    return button;
}

} // namespace

BreakpointList::BreakpointList(sim::ProgramInterpreter& interpreter, QWidget* parent)
    : QGroupBox(QStringLiteral("Data breakpoints"), parent), m_interpreter(interpreter) {
    auto* grid = new QGridLayout(this);
    m_condition = new QLineEdit(this);
    m_condition->setPlaceholderText(QStringLiteral("Counter0 >= 5"));
    m_condition->setAccessibleName(QStringLiteral("Break condition"));
    auto* conditionLabel = new QLabel(QStringLiteral("&If"), this);
    conditionLabel->setBuddy(m_condition);
    QPushButton* addCondition = Button(QStringLiteral("&Add condition"), this);
    grid->addWidget(conditionLabel, 0, 0);
    grid->addWidget(m_condition, 0, 1);
    grid->addWidget(addCondition, 0, 2);

    m_change = new QComboBox(this);
    m_change->setEditable(true);
    m_change->setInsertPolicy(QComboBox::NoInsert);
    m_change->setAccessibleName(QStringLiteral("Value to watch"));
    m_change->lineEdit()->setAccessibleName(m_change->accessibleName());
    for (const drivemap::DriveValue& value : drivemap::Values()) {
        for (int channel = 0; channel < std::max<int>(value.channels, 1); ++channel)
            m_change->addItem(NameOf({&value, value.channels > 0 ? channel : ValueRef::kWhole}));
        for (const drivemap::Bit& bit : value.bits)
            m_change->addItem(QLatin1String(bit.name));
    }
    auto* changeLabel = new QLabel(QStringLiteral("On &change of"), this);
    changeLabel->setBuddy(m_change);
    QPushButton* addChange = Button(QStringLiteral("&Break on change"), this);
    grid->addWidget(changeLabel, 1, 0);
    grid->addWidget(m_change, 1, 1);
    grid->addWidget(addChange, 1, 2);

    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setAccessibleName(QStringLiteral("Breakpoint message"));
    m_message->setStyleSheet(QStringLiteral("color: #b00020"));
    grid->addWidget(m_message, 2, 0, 1, 3);

    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Data breakpoints"));
    m_list->setMaximumHeight(fontMetrics().height() * kListRows);
    m_list->setToolTip(QStringLiteral("Ticked breakpoints pause the run after the statement "
                                      "at which they hold. Space ticks, Delete removes."));
    grid->addWidget(m_list, 3, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    m_remove = Button(QStringLiteral("Re&move"), this);
    m_clear = Button(QStringLiteral("Cl&ear all"), this);
    buttons->addWidget(m_remove);
    buttons->addWidget(m_clear);
    buttons->addStretch();
    grid->addLayout(buttons, 4, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    const auto addTyped = [this] {
        if (AddCondition(m_condition->text()))
            m_condition->clear();
    };
    connect(addCondition, &QPushButton::clicked, this, addTyped);
    connect(m_condition, &QLineEdit::returnPressed, this, addTyped);
    connect(addChange, &QPushButton::clicked, this, [this] { AddChange(m_change->currentText()); });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        if (m_list->currentRow() >= 0)
            RemoveRow(m_list->currentRow());
    });
    connect(m_clear, &QPushButton::clicked, this, &BreakpointList::Clear);
    auto* removeKey = new QAction(m_list);
    removeKey->setShortcut(QKeySequence::Delete);
    removeKey->setShortcutContext(Qt::WidgetShortcut);
    m_list->addAction(removeKey);
    connect(removeKey, &QAction::triggered, m_remove, &QPushButton::click);
    connect(m_list, &QListWidget::itemChanged, this, &BreakpointList::OnItemChanged);
}

BreakpointList::~BreakpointList() {
    Uninstall();
}

bool BreakpointList::Put(Entry& entry) {
    if (entry.condition.isEmpty()) {
        entry.id = m_interpreter.AddBreakOnChange(entry.changed).value_or(0);
    } else {
        const std::uint8_t code =
            m_interpreter.AddBreakCondition(entry.condition.toStdString(), entry.id);
        if (code != 0) {
            m_message->setText(
                QStringLiteral("If %1: %2")
                    .arg(entry.condition, QLatin1String(compiler::CompileMessage(code))));
            return false;
        }
    }
    m_interpreter.EnableBreakpoint(entry.id, entry.enabled);
    return true;
}

bool BreakpointList::AddCondition(const QString& condition) {
    Entry entry;
    entry.condition = condition.simplified();
    // Compiled now, so a bad one is refused while the user still sees it.
    if (!Put(entry))
        return false;
    if (!m_installed)
        m_interpreter.RemoveBreakpoint(std::exchange(entry.id, 0));
    Add(entry);
    return true;
}

bool BreakpointList::AddChange(const QString& name) {
    const std::optional<ValueRef> ref = drivemap::Find(name.trimmed().toStdString());
    if (!ref) {
        m_message->setText(QStringLiteral("%1 is no value of the drive").arg(name.trimmed()));
        return false;
    }
    Entry entry;
    entry.changed = *ref;
    if (m_installed)
        Put(entry);
    Add(entry);
    return true;
}

void BreakpointList::Add(Entry entry) {
    m_message->clear();
    auto* item = new QListWidgetItem(entry.condition.isEmpty()
                                         ? NameOf(entry.changed) + QStringLiteral(" changes")
                                         : QStringLiteral("If ") + entry.condition);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    m_entries.push_back(entry);
    const QSignalBlocker block(m_list);
    m_list->addItem(item);
}

void BreakpointList::OnItemChanged(QListWidgetItem* item) {
    const int row = m_list->row(item);
    if (row >= 0 && row < Count() && m_entries[row].enabled != (item->checkState() == Qt::Checked))
        EnableRow(row, item->checkState() == Qt::Checked);
}

void BreakpointList::EnableRow(int row, bool enabled) {
    if (row < 0 || row >= Count())
        return;
    Entry& entry = m_entries[row];
    entry.enabled = enabled;
    if (entry.id != 0)
        m_interpreter.EnableBreakpoint(entry.id, enabled);
    const QSignalBlocker block(m_list);
    m_list->item(row)->setCheckState(enabled ? Qt::Checked : Qt::Unchecked);
}

void BreakpointList::RemoveRow(int row) {
    if (row < 0 || row >= Count())
        return;
    ClearHit();
    if (m_entries[row].id != 0)
        m_interpreter.RemoveBreakpoint(m_entries[row].id);
    m_entries.erase(m_entries.begin() + row);
    delete m_list->takeItem(row);
}

void BreakpointList::Clear() {
    while (Count() > 0)
        RemoveRow(Count() - 1);
}

void BreakpointList::Install() {
    Uninstall();
    for (Entry& entry : m_entries)
        Put(entry);
    m_installed = true;
}

void BreakpointList::Uninstall() {
    for (Entry& entry : m_entries)
        if (entry.id != 0)
            m_interpreter.RemoveBreakpoint(std::exchange(entry.id, 0));
    m_installed = false;
}

QString BreakpointList::MarkHit(int id) {
    ClearHit();
    const auto found = std::ranges::find(m_entries, id, &Entry::id);
    if (id == 0 || found == m_entries.end())
        return {};
    m_hitRow = static_cast<int>(found - m_entries.begin());
    QListWidgetItem* item = m_list->item(m_hitRow);
    QFont bold = item->font();
    bold.setBold(true);
    const QSignalBlocker block(m_list);
    item->setFont(bold);
    item->setBackground(QColor(0xff, 0xe8, 0x8c));
    item->setForeground(Qt::black);
    // Not selected: the selection's colour would hide the highlight.
    m_list->scrollToItem(item);
    return found->condition.isEmpty() ? NameOf(found->changed) + QStringLiteral(" changed")
                                      : found->condition + QStringLiteral(" held");
}

void BreakpointList::ClearHit() {
    if (m_hitRow < 0 || m_hitRow >= m_list->count()) {
        m_hitRow = -1;
        return;
    }
    QListWidgetItem* item = m_list->item(std::exchange(m_hitRow, -1));
    const QSignalBlocker block(m_list);
    item->setFont(m_list->font());
    item->setBackground(QBrush());
    item->setForeground(QBrush());
}

void BreakpointList::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        m_list->setMaximumHeight(fontMetrics().height() * kListRows);
    QGroupBox::changeEvent(event);
}

} // namespace kt::simulator
