// The device window: the drive's live values in rows of indexed boxes, check
// boxes and buttons, read and written through the command set, and the
// program erased or downloaded. Each control array has one handler that
// takes the index. It talks to the drive only through ClsKtMotor and asks
// the user only through the prompt service. Below the specified controls a
// status line of our own tells what the last program download did, and
// tells assistive technology too. Tab keeps the drive window's own order,
// skipping the right half while it is collapsed.
#pragma once

#include <QByteArray>
#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;

namespace kt::link {
class ClsKtMotor;
class FrmMotorCom;
} // namespace kt::link
namespace kt::platform {
class PromptService;
}

namespace kt::device {

class FrmDevice : public QDialog {
    Q_OBJECT

public:
    // The main window's program image: empty with RetError set when the
    // program does not compile.
    using ProgramSource = std::function<QByteArray(std::uint8_t& RetError, long& RetLineCount)>;

    static constexpr int kTwipsPerPixel = 15;

    FrmDevice(link::FrmMotorCom& link, platform::PromptService& prompts, ProgramSource program,
              QWidget* owner = nullptr);
    ~FrmDevice() override;

    std::uint8_t MotorPort() const { return m_motorPort; }
    bool Expanded() const;

    void CmdRead_Click(int index);
    void CmdWrite_Click(int index);
    void CmdExpand_Click();

    // The controls, by the indices the window is drawn up with (nullptr
    // where an array has a gap).
    QPushButton* CmdRead(int index) const { return m_cmdRead.at(index); }
    QPushButton* CmdWrite(int index) const { return m_cmdWrite.at(index); }
    QLineEdit* TxtPara(int index) const { return m_txtPara.at(index); }
    QLabel* Lbl(int index) const { return m_lbl.at(index); }
    QCheckBox* ChkFlag(int k) const { return m_chkFlag.at(k); }
    QCheckBox* ChkInput(int k) const { return m_chkInput.at(k); }
    QCheckBox* ChkOutput(int k) const { return m_chkOutput.at(k); }
    QPushButton* CmdExpandButton() const { return m_cmdExpand; }
    QCheckBox* ChkFault() const { return m_chkFault; }
    QCheckBox* ChkMotorEnable() const { return m_chkMotorEnable; }
    QCheckBox* ChkMotorForward() const { return m_chkMotorForward; }
    QCheckBox* ChkProgram() const { return m_chkProgram; }
    QCheckBox* ChkAutoTorque() const { return m_chkAutoTorque; }
    QCheckBox* ChkCommandForward() const { return m_chkCommandForward; }
    QCheckBox* ChkCommandReverse() const { return m_chkCommandReverse; }
    QLabel* StatusLine() const { return m_statusLine; }

    // Escape and the close button both end here.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Build();
    void WriteProgram();
    void EraseProgram();
    void BuildTabOrder();
    void ShowRightHalf(bool shown);
    // A read or write in progress: the window must outlive it.
    struct Busy;
    bool ReadOne(int index);
    bool ReadStatusBoxes();
    bool ReadErrorBox();
    bool WriteOne(int index);
    void ReadAllLeft();
    void ReadAllRight();

    link::FrmMotorCom& m_link;
    platform::PromptService& m_prompts;
    ProgramSource m_program;
    std::unique_ptr<link::ClsKtMotor> m_motor;
    std::uint8_t m_motorPort = 0;
    int m_busy = 0;
    bool m_closePending = false;

    std::array<QPushButton*, 38> m_cmdRead{};
    std::array<QPushButton*, 39> m_cmdWrite{};
    std::array<QLineEdit*, 36> m_txtPara{};
    std::array<QLabel*, 32> m_lbl{};
    std::array<QCheckBox*, 8> m_chkFlag{};
    std::array<QCheckBox*, 8> m_chkInput{};
    std::array<QCheckBox*, 2> m_chkOutput{};
    std::array<QFrame*, 12> m_line1{};
    // Beyond the collapsed window's edge: shown only while expanded.
    std::vector<QWidget*> m_rightHalf;
    QPushButton* m_cmdExpand = nullptr;
    QCheckBox* m_chkFault = nullptr;
    QCheckBox* m_chkMotorEnable = nullptr;
    QCheckBox* m_chkMotorForward = nullptr;
    QCheckBox* m_chkProgram = nullptr;
    QCheckBox* m_chkAutoTorque = nullptr;
    QCheckBox* m_chkCommandForward = nullptr;
    QCheckBox* m_chkCommandReverse = nullptr;
    QLabel* m_statusLine = nullptr;
};

} // namespace kt::device
