#include "simulator/force_panel.h"

#include "compiler/number_rules.h"
#include "sim/program_interpreter.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace kt::simulator {

namespace {

using drivemap::ValueRef;

constexpr int kListRows = 6;

QString NameOf(const ValueRef& ref) {
    return QString::fromStdString(drivemap::Name(ref));
}

} // namespace

ForcePanel::ForcePanel(QWidget* parent) : QGroupBox(QStringLiteral("Force"), parent) {
    auto* grid = new QGridLayout(this);
    m_value = new QComboBox(this);
    // Typed names count too, in any spelling the catalogue knows.
    m_value->setEditable(true);
    m_value->setInsertPolicy(QComboBox::NoInsert);
    for (const drivemap::DriveValue& value : drivemap::Values()) {
        for (const drivemap::Bit& bit : value.bits)
            if (const ValueRef ref{&value, ValueRef::kWhole, bit.index};
                sim::ProgramInterpreter::Forceable(ref))
                m_value->addItem(NameOf(ref));
        for (int channel = 0; channel < value.channels; ++channel)
            if (const ValueRef ref{&value, channel}; sim::ProgramInterpreter::Forceable(ref))
                m_value->addItem(NameOf(ref));
    }
    m_value->setAccessibleName(QStringLiteral("Value to force"));
    m_value->lineEdit()->setAccessibleName(m_value->accessibleName());
    m_reading = new QLineEdit(this);
    m_reading->setAccessibleName(QStringLiteral("Forced value"));
    m_reading->setPlaceholderText(QStringLiteral("0 or 1, a count"));
    auto* valueLabel = new QLabel(QStringLiteral("&Value"), this);
    valueLabel->setBuddy(m_value);
    auto* readingLabel = new QLabel(QStringLiteral("&To"), this);
    readingLabel->setBuddy(m_reading);
    grid->addWidget(valueLabel, 0, 0);
    grid->addWidget(m_value, 0, 1);
    grid->addWidget(readingLabel, 1, 0);
    grid->addWidget(m_reading, 1, 1);

    auto* buttons = new QHBoxLayout;
    m_force = new QPushButton(QStringLiteral("&Force"), this);
    m_keep = new QPushButton(QStringLiteral("Release (&keep)"), this);
    m_restore = new QPushButton(QStringLiteral("Release (&restore)"), this);
    m_keep->setToolTip(QStringLiteral("The program takes over from the forced value"));
    m_restore->setToolTip(QStringLiteral("Back to the value it had before it was forced"));
    for (QPushButton* button : {m_force, m_keep, m_restore}) {
        button->setAutoDefault(false);
        button->setAccessibleName(button->text().remove(QLatin1Char('&')));
        buttons->addWidget(button);
    }
    buttons->addStretch();
    grid->addLayout(buttons, 2, 0, 1, 2);

    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setAccessibleName(QStringLiteral("Force message"));
    m_message->setStyleSheet(QStringLiteral("color: #b00020"));
    grid->addWidget(m_message, 3, 0, 1, 2);

    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Forced values"));
    m_list->setMaximumHeight(fontMetrics().height() * kListRows);
    grid->addWidget(m_list, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(m_force, &QPushButton::clicked, this, &ForcePanel::OnForce);
    connect(m_reading, &QLineEdit::returnPressed, this, &ForcePanel::OnForce);
    for (const bool restore : {false, true})
        connect(ReleaseButton(restore), &QPushButton::clicked, this, [this, restore] {
            if (const std::optional<ValueRef> ref = Chosen())
                emit releaseRequested(*ref, restore);
        });
    // A row picks its value for the releases.
    connect(m_list, &QListWidget::currentTextChanged, this, [this](const QString& row) {
        if (!row.isEmpty())
            m_value->setCurrentText(row.section(QLatin1Char(' '), 0, 0));
    });
}

void ForcePanel::ShowForced(const QStringList& rows) {
    QStringList shown;
    for (int row = 0; row < m_list->count(); ++row)
        shown << m_list->item(row)->text();
    if (shown == rows)
        return;
    m_list->clear();
    m_list->addItems(rows);
}

void ForcePanel::SetMessage(const QString& text) {
    m_message->setText(text);
}

std::optional<ValueRef> ForcePanel::Chosen() {
    const QString name = m_value->currentText().trimmed();
    const std::optional<ValueRef> ref = drivemap::Find(name.toStdString());
    if (!ref) {
        SetMessage(QStringLiteral("%1 is no value of the drive").arg(name));
        return std::nullopt;
    }
    if (!sim::ProgramInterpreter::Forceable(*ref)) {
        SetMessage(QStringLiteral("%1 cannot be forced").arg(NameOf(*ref)));
        return std::nullopt;
    }
    SetMessage({});
    return ref;
}

void ForcePanel::OnForce() {
    const std::optional<ValueRef> ref = Chosen();
    if (!ref)
        return;
    const QString text = m_reading->text().trimmed();
    std::optional<float> reading = compiler::TypedSingle(text.toStdString());
    // A bit also takes the language's words.
    if (ref->bit != ValueRef::kWhole && !reading)
        if (const int word = QStringList{QStringLiteral("false"), QStringLiteral("true")}.indexOf(
                text.toLower());
            word >= 0)
            reading = static_cast<float>(word);
    std::optional<std::uint16_t> count;
    if (reading)
        count = drivemap::Encode(*ref->value, *reading);
    if (!count) {
        const drivemap::Range range = ref->value->range;
        SetMessage(QStringLiteral("%1 takes a whole number from %2 to %3, not \"%4\"")
                       .arg(NameOf(*ref), QString::fromStdString(drivemap::Format(*ref, range.low)),
                            QString::fromStdString(drivemap::Format(*ref, range.high)), text));
        return;
    }
    emit forceRequested(*ref, *count);
}

void ForcePanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        m_list->setMaximumHeight(fontMetrics().height() * kListRows);
    QGroupBox::changeEvent(event);
}

} // namespace kt::simulator
