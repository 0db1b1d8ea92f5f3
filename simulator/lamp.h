// A read-only indicator for a bit the program or the drive sets: a round
// lamp, lit or dark, with the bit's name beside it, and its name and state
// for screen readers. Not a control: it takes neither focus nor clicks, so it
// never looks like something the user could tick. A forced bit shows "(F)"
// after its name.
#pragma once

#include <QLabel>

namespace kt::simulator {

class Lamp : public QLabel {
public:
    explicit Lamp(const QString& name, QWidget* parent = nullptr);

    void SetOn(bool on);
    bool IsOn() const { return m_on; }
    void SetForced(bool forced);
    bool IsForced() const { return m_forced; }

private:
    void Show();

    QString m_name;
    bool m_on = false;
    bool m_forced = false;
};

} // namespace kt::simulator
