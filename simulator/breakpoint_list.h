// The simulator window's data breakpoints: a condition written as after
// "If " on a program line, or a value of the catalogue that changes; each
// row with a tick box to enable it, removed one by one or all at once. The
// list lasts as long as the window; its breakpoints sit in the interpreter
// only while the window runs a program (Install, Uninstall), so the drive
// running a downloaded program on its own never stops at them.
// Not the line marks: those stay the editor's and the window's.
#pragma once

#include "drivemap/drive_catalogue.h"

#include <QGroupBox>
#include <QString>

#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kt::sim {
class ProgramInterpreter;
}

namespace kt::simulator {

class BreakpointList : public QGroupBox {
    Q_OBJECT

public:
    explicit BreakpointList(sim::ProgramInterpreter& interpreter, QWidget* parent = nullptr);
    ~BreakpointList() override;

    // A condition the line compiler refuses, or a name the catalogue does
    // not know, adds nothing: false, with the reason on the message line.
    bool AddCondition(const QString& condition);
    bool AddChange(const QString& name);
    void EnableRow(int row, bool enabled);
    void RemoveRow(int row);
    void Clear();
    int Count() const { return static_cast<int>(m_entries.size()); }

    void Install();
    void Uninstall();
    // The row of the interpreter's breakpoint id highlighted; what held,
    // as "Counter0 >= 5 held" or "Counter.3 changed". Empty for no row.
    QString MarkHit(int id);
    void ClearHit();
    int HitRow() const { return m_hitRow; }

    QLineEdit* ConditionEdit() const { return m_condition; }
    QComboBox* ChangeBox() const { return m_change; }
    QListWidget* List() const { return m_list; }
    QLabel* MessageLabel() const { return m_message; }

protected:
    // The list keeps its height in rows when the text is zoomed.
    void changeEvent(QEvent* event) override;

private:
    struct Entry {
        QString condition; // empty for a change
        drivemap::ValueRef changed;
        bool enabled = true;
        int id = 0; // the interpreter's, while installed
    };

    // Into the interpreter; false with the message told for a bad condition.
    bool Put(Entry& entry);
    void Add(Entry entry);
    void OnItemChanged(QListWidgetItem* item);

    sim::ProgramInterpreter& m_interpreter;
    std::vector<Entry> m_entries;
    bool m_installed = false;
    int m_hitRow = -1;

    QLineEdit* m_condition = nullptr;
    QComboBox* m_change = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_clear = nullptr;
    QLabel* m_message = nullptr;
};

} // namespace kt::simulator
