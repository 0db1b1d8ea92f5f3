#!/usr/bin/env bash
# Mutation check: does the test suite notice small faults of our own making?
#
# In a scratch clone of the current commit (never the work tree you edit), it
# builds once, runs the suite once (it must pass), then for each mutant below:
# puts the fault in, rebuilds incrementally, runs the suite, records whether
# the suite caught it, and puts the file back. Not part of CI: a full run
# builds and tests once per mutant and takes a while.
#
#   scripts/mutation-check.sh                 # every mutant
#   scripts/mutation-check.sh --only L3       # one mutant (repeat, or L3,K1)
#   scripts/mutation-check.sh --list          # the mutants, nothing built
#   scripts/mutation-check.sh --check         # do all mutants still match?
#   scripts/mutation-check.sh --jobs 1 --dir /tmp/mut --keep
#   KT_BUILD_LOCK=/tmp/kt-build.lock scripts/mutation-check.sh --only Q1
#
# With KT_BUILD_LOCK set, every build waits for that lock file (flock), so
# that builds sharing the machine take turns; the suite runs outside it.
#
# Results: "caught" (the suite failed), "survived" (it passed: a test is
# missing), "did not build" (the fault does not compile: fix the mutant),
# "stale" (its search text no longer matches exactly once: update it).
# Exit status: 0 when every mutant that ran was caught and none was stale or
# failed to build, 1 otherwise, 2 when the check itself could not run.
set -euo pipefail

# Bash reads a script as it runs it: a mutant added to this file during a
# long run would be read half-way and run as commands. In braces, the whole
# script is read before anything runs.
{

usage() {
    cat <<'EOF'
usage: scripts/mutation-check.sh [options]
  --only ID     run only this mutant; repeat it or give a comma list (L3,K1)
  --list        print the mutants and exit
  --check       check that every mutant matches exactly once at HEAD, and exit
  --keep        keep the scratch folder (its path is printed)
  --dir DIR     use DIR as the scratch folder (kept); a clone left there by
                an earlier run is reused and brought to the current commit
  --jobs N      parallel jobs for ninja and ctest (default 2)
  --nice N      niceness for the builds and the suite (default 10)
  -h, --help    this text
EOF
}

# One mutant a line: ID @@ file @@ the fault @@ search text @@ replacement.
# The search text is literal and must occur exactly once in the file.
# Prefer faults a careless edit could really make; avoid ones that do not
# compile (warnings are fine: the scratch build does not use -Werror).
read -r -d '' MUTANTS <<'EOF' || true
C1 @@ compiler/line_compiler.cpp @@ a value equal to its row's limit is refused @@ *value > limit || !ApplyRule @@ *value >= limit || !ApplyRule
C2 @@ compiler/line_compiler.cpp @@ tenths low byte taken modulo 255 @@ code[1] = static_cast<std::uint8_t>(tenths % 256); @@ code[1] = static_cast<std::uint8_t>(tenths % 255);
C4 @@ compiler/number_rules.cpp @@ rounding half away from zero, not half to even @@ return std::nearbyint(value); @@ return std::round(value);
C5 @@ compiler/number_rules.cpp @@ a byte may not be 255 @@ if (rounded < 0 || rounded > 255) @@ if (rounded < 0 || rounded >= 255)
C6 @@ compiler/program_compiler.cpp @@ opcode 14 no longer opens an If block @@ return op <= 14; @@ return op < 14;
C7 @@ compiler/program_compiler.cpp @@ an open block reports the other block's message @@ blockStack.back() == kIfBlock ? kExpectEndIf : kExpectLoop; @@ blockStack.back() == kIfBlock ? kExpectLoop : kExpectEndIf;
C8 @@ compiler/program_compiler.cpp @@ one statement fewer fits the program memory @@ if (programCounter >= kProgramSize) @@ if (programCounter + 2 >= kProgramSize)
C9 @@ compiler/program_compiler.h @@ the unused image is filled with 0x00, not 0xFF @@ kImageFill = 0xFF; @@ kImageFill = 0x00;
C10 @@ compiler/instruction_picker.cpp @@ the picker's value list stops one short of the limit @@ for (int value = 0; value <= last; ++value) @@ for (int value = 0; value < last; ++value)
# Left out as equivalent: the two-value rows refusing a sum of 255 as well as above it (the
# largest sum any such row can reach is 166).
L1 @@ link/packet.cpp @@ checksum is the ones' complement, not 0x10000 minus the sum @@ static_cast<std::uint16_t>(0x10000 - (sum & 0xFFFF)) @@ static_cast<std::uint16_t>(0xFFFF - (sum & 0xFFFF))
L2 @@ link/packet.cpp @@ a read reply's checksum expected high byte first @@ Bytes({checksum & 0xFF, checksum >> 8}) @@ Bytes({checksum >> 8, checksum & 0xFF})
L3 @@ link/frm_motor_com.cpp @@ the start byte of a write is 0x00 and of a read 0x80 @@ Packet::StartByte(request.writeToMotor) @@ Packet::StartByte(!request.writeToMotor)
L4 @@ link/frm_motor_com.cpp @@ a read reply is expected one byte short @@ request.dataCount + 2; @@ request.dataCount + 1;
L5 @@ link/frm_motor_com.h @@ reply time-out (n+1)*50+100 instead of (n+2)*50+100 @@ return (dataCount + 2) * 50 + 100; @@ return (dataCount + 1) * 50 + 100;
L6 @@ link/frm_motor_com.cpp @@ five resends instead of four @@ if (exchange.retryCount < kMaxResends) @@ if (exchange.retryCount <= kMaxResends)
L7 @@ link/frm_motor_com.h @@ the link counts as busy only while a user's command holds it and the wire is busy @@ return m_phase != Phase::Idle || m_holder != Holder::None || !m_queue.empty(); @@ return m_phase != Phase::Idle && m_holder != Holder::None;
L8 @@ link/frm_motor_com.cpp @@ the port search checks the identification's second byte @@ static_cast<std::uint8_t>(identification[0]) @@ static_cast<std::uint8_t>(identification[1])
Q1 @@ link/frm_motor_com.cpp @@ a user's request queues behind the waiting background requests @@ m_queue.push_front(std::move(pending)); @@ m_queue.push_back(std::move(pending));
Q2 @@ link/frm_motor_com.cpp @@ background requests go out while a user's command holds the link @@ if (background && m_holder != Holder::None) @@ if (background && m_holder == Holder::Search)
Q3 @@ link/frm_motor_com.cpp @@ a command's end does not hand the wire back to waiting background requests @@ // Background requests waited for the command: the wire is theirs again.\n    Pump(); @@ // Background requests waited for the command: the wire is theirs again.
Q4 @@ link/frm_motor_com.cpp @@ a second user's command gets the link while the first holds it @@ if (link.m_holder != Holder::None) @@ if (link.m_holder == Holder::Search)
Q5 @@ link/frm_motor_com.cpp @@ a background exchange that ran out of resends asks the retry question @@ if (exchange.probe || exchange.pending.priority == Priority::Background) @@ if (exchange.probe)
Q6 @@ link/frm_motor_com.cpp @@ a background exchange's line error shows the CommError box @@ if (!searching && !quiet) @@ if (!searching)
Q7 @@ link/frm_motor_com.cpp @@ a completion runs for an owner that is gone @@ if (pending.hasContext && !pending.context)\n        return;\n    if (pending.done) @@ if (pending.done)
Q8 @@ link/cls_kt_motor.cpp @@ the download lets go of the link the erase held @@ return m_link.SendPacket(hold, drivemap::kProgram, 0, @@ return m_link.SendPacket(drivemap::kProgram, 0,
D1 @@ drive/virtual_drive.cpp @@ the drive reads a request's checksum high byte first @@ At(frame, body) | (At(frame, body + 1) << 8) @@ (At(frame, body) << 8) | At(frame, body + 1)
D2 @@ drive/virtual_drive.cpp @@ clear-bits ANDs with the inverted data byte @@ memoryAt(i) &= dataAt(i); @@ memoryAt(i) &= ~dataAt(i);
D3 @@ drive/virtual_drive.cpp @@ the drive answers a read without its checksum @@ AppendChecksum(reply, Checksum(reply)); @@ ;
K1 @@ link/cls_kt_motor.cpp @@ set-bit and clear-bit function codes swapped @@ putOn ? drivemap::kSetBits : drivemap::kClearBits @@ putOn ? drivemap::kClearBits : drivemap::kSetBits
K2 @@ drivemap/drive_catalogue.cpp @@ a tenths value is limited at 1021, not 102.1 @@ if (value > compiler::kTenthsLimit) @@ if (value > compiler::kTenthsLimit * 10)
K3 @@ link/cls_kt_motor.cpp @@ two-byte values (tenths, word counters) written high byte first @@ Packet::Bytes({count & 0xFF, count >> 8}) @@ Packet::Bytes({count >> 8, count & 0xFF})
K4 @@ drivemap/drive_catalogue.cpp @@ reference volt written as *100/255 instead of *255/100 @@ *percent * 255 / 100 @@ *percent * 100 / 255
K5 @@ drivemap/drive_catalogue.cpp @@ current limit steps of 1/256 instead of 1/255 @@ static_cast<int>(count) / 255 @@ static_cast<int>(count) / 256
K6 @@ drivemap/drive_catalogue.cpp @@ bus voltage scaled by 69.8/694 instead of 69.8/649 @@ count * 69.8 / 649 @@ count * 69.8 / 694
E1 @@ editor/text_box.cpp @@ the CR LF text length counts one character too many @@ return doc->characterCount() - 1 + (doc->blockCount() - 1); @@ return doc->characterCount() + (doc->blockCount() - 1);
E2 @@ editor/text_box.cpp @@ a CR LF offset at a line's start lands on the line before @@ findBlockByNumber(mid).position() + mid <= offset @@ findBlockByNumber(mid).position() + mid < offset
E3 @@ editor/kt_text.cpp @@ Enter no longer repeats the line's indentation @@ ReplaceSelection(QStringLiteral("\r\n") + m_oldWhtSpc, false); @@ ReplaceSelection(QStringLiteral("\r\n"), false);
E4 @@ editor/kt_text.cpp @@ the caret's line start forgets the CR of earlier lines @@ m_currentLineSS = block.position() + block.blockNumber();\n        m_colNumber @@ m_currentLineSS = block.position();\n        m_colNumber
E5 @@ editor/text_box.cpp @@ a note is drawn beside the line after its own @@ findBlockByNumber(note->first - 1) @@ findBlockByNumber(note->first)
M1 @@ mainwindow/frm_motor.cpp @@ typing no longer sets the Changed flag @@ if (textChange)\n        m_changed = true; @@ if (textChange)\n        m_changed = false;
M2 @@ files/program_files.cpp @@ the caption is cut at the first "." instead of the last @@ name.lastIndexOf(u'.') @@ name.indexOf(u'.')
M3 @@ compiler/program_text.cpp @@ open removes a final CR LF even when only one is there @@ kTwoBreaks = "\r\n\r\n"; @@ kTwoBreaks = "\r\n";
V1 @@ device/frm_device.cpp @@ Read All reads MotorCurrent after ReferenceVolt @@ {0, 1, 2, 3, 4, 5, 6, 7, 35} @@ {0, 1, 2, 3, 4, 5, 7, 6, 35}
V2 @@ device/frm_device.cpp @@ counter bytes from a word counter swapped @@ m_txtPara[8 + 2 * k]->setText(QString::number(data % 256)); @@ m_txtPara[8 + 2 * k]->setText(QString::number(data / 256));
V3 @@ device/frm_device.cpp @@ text that is no number writes nothing and says nothing @@ return value && (motor.*write)(*value) == link::kSent; @@ return !value || (motor.*write)(*value) == link::kSent;
V4 @@ compiler/number_rules.cpp @@ typed whole values rounded half away from zero @@ const double rounded = RoundHalfEven(*value); @@ const double rounded = std::round(*value);
Q9 @@ link/frm_motor_com.cpp @@ a background request goes ahead of those already waiting @@ go in turn.\n    m_queue.push_back(std::move(pending)); @@ go in turn.\n    m_queue.push_front(std::move(pending));
Q10 @@ link/frm_motor_com.cpp @@ a background request of an owner that is gone still goes out @@ if (background && pending.hasContext && !pending.context)\n            continue; // whoever asked is gone @@ // whoever asked is gone
Q11 @@ link/frm_motor_com.cpp @@ a background request goes out on a port the user cancelled @@ if (!m_port || (background && m_portNumber == 0)) { @@ if (!m_port) {
Q12 @@ link/frm_motor_com.cpp @@ a refused background request completes inside the call that submitted it @@ QTimer::singleShot(0, receiver,\n                       [done = std::move(pending.done), completion] { done(completion); }); @@ pending.done(completion);
Q13 @@ link/frm_motor_com.cpp @@ after its port search a command no longer holds the link @@ m_holder = Holder::Command;\n    if (found) @@ m_holder = Holder::None;\n    if (found)
Q14 @@ link/frm_motor_com.cpp @@ the priority of the last exchange is never recorded: an idle line error after a monitoring read shows a box @@ m_lastPriority = pending.priority; @@ ;
Q15 @@ link/frm_motor_com.cpp @@ an exchange's completion runs before the next request goes out @@ Pump();\n    Pending& pending = exchange.pending;\n    if (pending.hasContext && !pending.context)\n        return;\n    if (pending.done)\n        pending.done(completion); @@ Pending& pending = exchange.pending;\n    if (pending.done && !(pending.hasContext && !pending.context))\n        pending.done(completion);\n    Pump();
Q16 @@ link/frm_motor_com.cpp @@ a command whose port was lost under a monitoring read does not search again @@ if (completion.result == kNoDrivePort && m_portNumber == 0)\n            continue; @@ if (completion.result == kNoDrivePort && m_portNumber == 0)\n            return kNoDrivePort;
Q17 @@ link/frm_motor_com.cpp @@ the port is forgotten while a user's command holds the link with the wire idle @@ if (Busy())\n        return false;\n    ClosePort(); @@ if (m_phase != Phase::Idle)\n        return false;\n    ClosePort();
Q18 @@ link/cls_kt_motor.cpp @@ the download asks its question before it holds the link @@ const FrmMotorCom::Hold hold(m_link);\n    if (!hold)\n        return kBusy;\n    if (!Confirm(QStringLiteral("This will put a new ProgramData in your motor, Are you sure?")))\n        return kSent; @@ if (!Confirm(QStringLiteral("This will put a new ProgramData in your motor, Are you sure?")))\n        return kSent;\n    const FrmMotorCom::Hold hold(m_link);\n    if (!hold)\n        return kBusy;
Q19 @@ link/cls_kt_motor.cpp @@ a background read of the channel one past the last is sent @@ channel < 0 || channel >= channels @@ channel < 0 || channel > channels
F1 @@ files/recovery_file.cpp @@ of copies on their way, the oldest whole one stays @@ loaded.content.saved > newestSaved @@ loaded.content.saved < newestSaved
F2 @@ files/recovery_file.cpp @@ a copy on its way saved in the same millisecond as the one in place loses to it @@ loaded.content.saved > newestSaved ||\n                   // Written after the one in place, within the clock's step.\n                   (newest == m_path && loaded.content.saved == newestSaved)) { @@ loaded.content.saved > newestSaved) {
F3 @@ files/recovery_file.cpp @@ copies left behind are offered oldest first @@ return QFileInfo(a->m_path).lastModified() > QFileInfo(b->m_path).lastModified(); @@ return QFileInfo(a->m_path).lastModified() < QFileInfo(b->m_path).lastModified();
F4 @@ files/recovery_file.cpp @@ removing a copy that is not there counts as a failure @@ return QFile::remove(m_path) || Nothing(m_path); @@ return QFile::remove(m_path);
F5 @@ files/recovery_file.cpp @@ a program name is written into the copy without percent-encoding @@ FileName::ToBytes(content.programFile).toPercentEncoding() @@ FileName::ToBytes(content.programFile)
F6 @@ files/regular_file.cpp @@ a file of exactly the largest size is refused @@ if (opened.st_size > maxBytes) @@ if (opened.st_size >= maxBytes)
F7 @@ files/regular_file.cpp @@ a replaced file loses its permissions @@ if (::fchmod(fd, old->st_mode & 07777) != 0)\n            return discard(errno); @@ // permissions not kept
F8 @@ files/regular_file.cpp @@ a program that ended but is not yet reaped counts as running @@ if (state == 'Z' || state == 'X')\n        return false; // ended, only not yet reaped @@ // ended, only not yet reaped
F9 @@ files/regular_file.cpp @@ a save's leftover that names no process is removed @@ if (maker > 0 && !Runs(maker) && info.isFile() @@ if (!Runs(maker) && info.isFile()
F10 @@ files/regular_file.cpp @@ a relative link is resolved from the working folder, not the link's @@ path = link.startsWith('/') ? link : FolderOf(path) + '/' + link; @@ path = link;
F11 @@ files/program_files.cpp @@ a name with an extension of its own still gets the program extension @@ if (path.isEmpty() || filterIndex != 0 || !QFileInfo(path).suffix().isEmpty()) @@ if (path.isEmpty() || filterIndex != 0)
F12 @@ files/program_files.cpp @@ a file holding NUL bytes opens as text @@ if (read.data.contains('\0')) { @@ if (false) {
H1 @@ editor/template_completer.cpp @@ two typed characters are not enough to offer templates @@ head.size() < kMinimumPrefix @@ head.size() <= kMinimumPrefix
H2 @@ editor/template_completer.cpp @@ a key that may not open the popup (Backspace) opens it @@ if (head.isEmpty() || (!mayOpen && !IsOpen()) || Templates().contains(head)) { @@ if (head.isEmpty() || Templates().contains(head)) {
H3 @@ editor/template_completer.cpp @@ a word with a blank after it is still taken as the head @@ head.contains(u' ') || head.contains(u'\t') @@ head.contains(u'\t')
H4 @@ editor/template_completer.cpp @@ the release of a key the popup took never reaches the editor @@ (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)) @@ event->type() != QEvent::KeyPress)
# Left out as equivalent in what is required: the light ground's colour set used on a dark
# ground (every colour is moved until it reads at 4.5:1 on its ground, so only the hues differ).
H6 @@ editor/kt_highlighter.cpp @@ a theme switched at run time keeps the old ground's colours @@ return m_formats != before; @@ return false;
H7 @@ editor/kt_highlighter.cpp @@ the underline runs one character past the statement @@ at < rejection->start + rejection->length; @@ at <= rejection->start + rejection->length;
K7 @@ drivemap/drive_catalogue.cpp @@ a percent value is read as a whole word, its high byte too @@ value.size == 1 || value.scaling == Scaling::Percent || @@ value.size == 1 ||
K8 @@ drivemap/drive_catalogue.cpp @@ a word is read high byte first @@ bytes[0] | bytes[1] << 8 @@ bytes[0] << 8 | bytes[1]
K9 @@ drivemap/drive_catalogue.cpp @@ tenths read in whole-number division, the tenth lost @@ return static_cast<float>(count) / 10.0f; @@ return static_cast<float>(count / 10);
K10 @@ drivemap/drive_catalogue.cpp @@ a percent count is read rounded instead of cut off @@ return count * 100 / 255; @@ return (count * 100 + 127) / 255;
K11 @@ drivemap/drive_catalogue.cpp @@ current steps read in whole milliamperes divided down @@ return static_cast<float>(count * 0.255); @@ return static_cast<float>(count * 255 / 1000);
K12 @@ drivemap/drive_catalogue.cpp @@ the tenths product formed in float, not double @@ compiler::RoundHalfEven(static_cast<double>(value) * 10.0) @@ compiler::RoundHalfEven(static_cast<double>(value * 10.0f))
K13 @@ drivemap/drive_catalogue.cpp @@ a rate or speed of 0 is refused @@ if (!(tenths >= 0)) @@ if (!(tenths > 0))
K14 @@ drivemap/drive_catalogue.cpp @@ a tenths value above 102.1 is written as 102.1 but the caller's value is left as it was @@ value = compiler::kTenthsLimit;\n    // Formed in double @@ return static_cast<std::uint16_t>(1021);\n    // Formed in double
K15 @@ drivemap/drive_catalogue.cpp @@ current limit milliamperes cut off instead of rounded @@ compiler::RoundHalfEven(static_cast<double>(reading) * 1000.0) @@ static_cast<double>(static_cast<long>(static_cast<double>(reading) * 1000.0))
K16 @@ drivemap/drive_catalogue.cpp @@ a negative current limit is written, wrapped to a huge count @@ if (!(count >= 0))\n            return std::nullopt;\n        return static_cast<std::uint16_t>(static_cast<int>(count) / 255); @@ return static_cast<std::uint16_t>(static_cast<int>(count) / 255);
K17 @@ drivemap/drive_catalogue.cpp @@ a current limit above the top is not brought down to it @@ if (reading > value.range.high)\n            reading = value.range.high;\n        // Thousandths @@ // Thousandths
K18 @@ drivemap/drive_catalogue.cpp @@ a percent written rounded instead of cut off @@ return static_cast<std::uint16_t>(*percent * 255 / 100); @@ return static_cast<std::uint16_t>((*percent * 255 + 50) / 100);
K19 @@ drivemap/drive_catalogue.cpp @@ a whole value equal to its range's top is refused @@ reading >= value.range.low && reading <= value.range.high @@ reading >= value.range.low && reading < value.range.high
K20 @@ drivemap/drive_catalogue.cpp @@ a whole value with a fraction is written cut off @@ ||\n            reading != static_cast<float>(static_cast<long>(reading))) @@ )
S1 @@ sim/program_interpreter.cpp @@ an If Counter0 >= n does not hold when the two are equal @@ return left >= right; @@ return left > right;
S2 @@ sim/program_interpreter.cpp @@ a stopped program leaves CommandReverse set: a reversing motor keeps turning @@ Mask(StatusBit::CommandReverse))); @@ 0));
S3 @@ sim/program_interpreter.cpp @@ the timers tick every 101 ms, not every 100 ms @@ if (--m_toTimerTick == 0) { @@ if (--m_toTimerTick < 0) {
S4 @@ sim/program_interpreter.cpp @@ triggering a timer again leaves its flag set @@ value == 0 ? m_timerFlags | mask : m_timerFlags & ~mask @@ value == 0 ? m_timerFlags | mask : m_timerFlags
S5 @@ sim/program_interpreter.cpp @@ a word counter's add reads its low byte only: the carry is lost @@ const unsigned value = Word(address); @@ const unsigned value = m_memory[address];
S6 @@ sim/program_interpreter.cpp @@ Reset Program keeps the click memories @@ s.clickPrimed = false; @@ (void)s;
S7 @@ sim/motor_model.cpp @@ a reversing motor slows to rest at the acceleration rate @@ goal = std::min<std::int64_t>(target, 0);\n        rate = WordAt(memory, Address(Id::DecelerationRate)); @@ goal = std::min<std::int64_t>(target, 0);\n        rate = WordAt(memory, Address(Id::AccelerationRate));
S8 @@ sim/motor_model.cpp @@ the motor current ignores the current limit @@ enabled ? std::min(load, memory[Address(Id::CurrentLimit)]) : std::uint8_t{0} @@ enabled ? load : std::uint8_t{0}
S9 @@ sim/instruction_decoder.cpp @@ a fifth timer flag (TimerFlag.4) is taken as a bit @@ return index < drivemap::Channels(drivemap::Id::Timer); @@ return index <= drivemap::Channels(drivemap::Id::Timer);
S10 @@ sim/instruction_decoder.cpp @@ a tenths row covers three opcodes, not four: values from 76.8 are refused @@ OperandKind::Tenths ? 4 : 1; @@ OperandKind::Tenths ? 3 : 1;
S11 @@ sim/program_interpreter.cpp @@ Analog.n read from the word at n, not 2n @@ Address(Id::Analog) + 2 * (operand >> 5) @@ Address(Id::Analog) + (operand >> 5)
S12 @@ sim/program_interpreter.cpp @@ a Do Until that holds goes to its Loop, not past it @@ program[block.statement].jump = static_cast<std::uint16_t>(k + 1);\n        }\n        open.pop_back(); @@ program[block.statement].jump = static_cast<std::uint16_t>(k);\n        }\n        open.pop_back();
S13 @@ sim/instruction_decoder.cpp @@ a Not output is accepted as a target @@ bit.address = drivemap::Address(drivemap::Id::Outputs);\n        bit.writable = !bit.inverted; @@ bit.address = drivemap::Address(drivemap::Id::Outputs);\n        bit.writable = true;
W1 @@ simulator/frm_simulator.cpp @@ the time label is not reset on Run: it counts from the first run @@ m_startMs = interpreter.TimeMs(); @@ // start kept
W2 @@ simulator/frm_simulator.cpp @@ a marked line pauses one statement early @@ BreaksAt(next)) { @@ BreaksAt(next + 1)) {
W3 @@ simulator/frm_simulator.cpp @@ time runs on while paused @@ if (m_state == State::Stopped && m_holdsClock) { @@ if (m_state != State::Running && m_holdsClock) {
W4 @@ simulator/frm_simulator.cpp @@ Stop while paused leaves the program running on the drive @@ if (m_state != State::Stopped) {\n        FreezeTimeline(); @@ if (m_state == State::Running) {\n        FreezeTimeline();
W5 @@ simulator/frm_simulator.cpp @@ Run is disabled while paused: a paused run cannot go on @@ m_run->setEnabled(m_state != State::Running); @@ m_run->setEnabled(m_state == State::Stopped);
W6 @@ simulator/lamp.cpp @@ a lamp draws its old state: lit one change late @@ m_on = on;\n    Show(); @@ Show();\n    m_on = on;
W7 @@ simulator/frm_simulator.cpp @@ a timer flag lamp is lit while its timer counts, not when it has run out @@ SetLamp(m_timerFlags[n], m_drive.Interpreter().TimerFlag(n)); @@ SetLamp(m_timerFlags[n], byte(Address(Id::Timer) + n) != 0);
W8 @@ simulator/frm_simulator.cpp @@ a slice in which the program ends stops time where it ended @@ if (byTime)\n                m_drive.RunFor(budget - spent); @@ // rest of the slice dropped
W9 @@ simulator/frm_simulator.cpp @@ after Stop the motor slows at 1x whatever the speed @@ m_drive.RunFor(SliceSimulatedMs());\n        Settle(); @@ m_drive.RunFor(kSliceMs);\n        Settle();
W10 @@ simulator/frm_simulator.cpp @@ the drive's clock noted after it was taken: never given back @@ m_driveClock = m_drive.RealTime();\n    m_drive.SetRealTime(false); @@ m_drive.SetRealTime(false);\n    m_driveClock = m_drive.RealTime();
W11 @@ simulator/frm_simulator.cpp @@ Run from a breakpoint meets the same mark again at once @@ m_leaveBreak = m_reason != Reason::DataBreakpoint; @@ m_leaveBreak = false;
W12 @@ simulator/frm_simulator.cpp @@ Stop when already stopped overwrites why it stopped @@ m_drive.Interpreter().Stop();\n        m_reason = reason;\n    } @@ m_drive.Interpreter().Stop();\n    }\n    m_reason = reason;
W13 @@ simulator/frm_simulator.cpp @@ an input the user sets is not recorded: going back and forward again loses it @@ m_history.SetInput(n, on); @@ m_drive.Interpreter().SetInput(n, on);
S14 @@ sim/program_interpreter.cpp @@ a traced statement is stamped with the time it ended, not began @@ Execute();\n    AdvanceClock();\n    m_changes.clear(); @@ Execute();\n    AdvanceClock();\n    record.timeMs = m_timeMs;\n    m_changes.clear();
S15 @@ sim/program_interpreter.cpp @@ a held motor still moves: values written by hand are overwritten @@ if (!m_motorHeld) @@ if (true)
S16 @@ sim/program_interpreter.cpp @@ a restored run forgets its click memories: a click is seen again @@ m_program[k].clickLast = s.m_clickLast[k]; @@ (void)s.m_clickLast[k];
S17 @@ sim/run_history.cpp @@ Run back pauses before the statement after a marked one @@ pausesBefore(m_interpreter.NextStatement())) @@ pausesBefore(m_interpreter.NextStatement() + 1))
# Left out as equivalent: the motor step taken as 10 ms whatever it is given (the interpreter
# always gives 10); Pause leaving the slice timer on (a paused slice only refreshes); Load
# not clearing the error byte itself (Restart, right after it, does).
R1 @@ cli/drive_commands.cpp @@ download counts the bytes up to the first 0xFF operand, not opcode @@ filled += 2; @@ ++filled;
R2 @@ cli/drive_commands.cpp @@ a write that failed still says what it wrote instead @@ if (*result == link::kSent && !limitedTo.empty()) @@ if (!limitedTo.empty())
R3 @@ cli/value_reads.cpp @@ a failing read ends the list but the run exits 0 @@ if (result != link::kSent)\n            return result;\n        lines.push_back @@ if (result != link::kSent)\n            break;\n        lines.push_back
R4 @@ cli/value_reads.cpp @@ a bit group followed by another name takes that name as its bit @@ i + 1 < words.size() &&\n                           Digits(words[i + 1]); @@ i + 1 < words.size();
R5 @@ cli/value_reads.cpp @@ an index refusal names one index too many @@ std::to_string(drivemap::Channels(value.id) - 1) @@ std::to_string(drivemap::Channels(value.id))
R6 @@ cli/drive_session.cpp @@ every port explained, "no drive found" is said as well @@ return explained + denied.size() >= directory.Count(); @@ return explained + denied.size() > directory.Count();
R7 @@ cli/monitor_command.cpp @@ monitor --count N makes N+1 rounds @@ round < *options.count; @@ round <= *options.count;
R8 @@ cli/monitor_command.cpp @@ a failed round is printed and the monitor goes on @@ if (result != link::kSent)\n            break;\n        if (round == 0) { @@ if (round == 0) {
R9 @@ cli/monitor_command.cpp @@ a round the output refused does not end the monitor @@ if (!out.flush())\n            return kExitIoError; @@ out.flush();
R10 @@ cli/standard_output.cpp @@ a failed flush of standard output is not noted: exit 0 @@ if (m_failure.empty() && std::fflush(stdout) != 0)\n        Refused(); @@ std::fflush(stdout);
R11 @@ cli/interruption.cpp @@ SIGTERM kills the served drive instead of ending it cleanly @@ std::signal(SIGTERM, OnSignal); @@ // SIGTERM left to its default
R12 @@ cli/terminal_prompts.cpp @@ a capital Y on the terminal counts as No @@ std::tolower(static_cast<unsigned char>(answer[0])) == yes @@ answer[0] == yes
R13 @@ cli/terminal_prompts.cpp @@ a declined question is not remembered: erase without --yes exits 0 @@ m_declined = true;\n        return Answer::No; @@ return Answer::No;
R14 @@ cli/compile_commands.cpp @@ a line of exactly 1 MiB before its CR LF counts as too long @@ if (line.size() <= kMaxLineBytes) @@ if (line.size() < kMaxLineBytes)
R15 @@ cli/simulate_command.cpp @@ an input change is applied a millisecond after its time @@ changes[nextChange].atMs <= drive.TimeMs() @@ changes[nextChange].atMs < drive.TimeMs()
R16 @@ cli/command_help.cpp @@ a command's usage line drops the "..." of a repeatable option @@ "]" + (option.repeats ? "..." : "") @@ "]"
R17 @@ cli/program_file.cpp @@ --image refuses a device (/dev/stdout) instead of writing into it @@ RegularFile::Special::WriteInPlace @@ RegularFile::Special::Refuse
R18 @@ cli/json_object.cpp @@ the unit separator (0x1F) goes into a JSON string unescaped @@ static_cast<unsigned char>(c) < 0x20 @@ static_cast<unsigned char>(c) < 0x1F
A1 @@ platform/text_zoom.cpp @@ Zoom Out stays where it is @@ std::lower_bound(kSteps.begin(), kSteps.end(), m_percent) @@ std::upper_bound(kSteps.begin(), kSteps.end(), m_percent)
A2 @@ platform/announce.cpp @@ an announcement leaves the widget's description as it was @@ where->setAccessibleDescription(text); @@ (void)text;
A3 @@ simulator/frm_simulator.cpp @@ Pause is on F7, not F6 @@ {m_pause, QKeySequence(Qt::Key_F6)}, @@ {m_pause, QKeySequence(Qt::Key_F7)},
A4 @@ monitor/plot_view.cpp @@ the plot's Left key pans toward the newer values @@ range.last + (event.key() == Qt::Key_Left ? -step : step) @@ range.last + (event.key() == Qt::Key_Left ? step : -step)
A5 @@ device/frm_device.cpp @@ the collapsed device window keeps its right half: Tab wanders past the edge @@ ShowRightHalf(false);\n    setFixedSize(Px(kCollapsedWidth) @@ ShowRightHalf(true);\n    setFixedSize(Px(kCollapsedWidth)
V5 @@ device/frm_device.cpp @@ the status line counts the bytes up to the first 0xFF operand @@ filled += 2; @@ ++filled;
V6 @@ device/frm_device.cpp @@ a declined download clears the status line @@ else if (exchanges.Erased()) @@ else
V7 @@ device/frm_device.cpp @@ the status line's two numbers swapped @@ .arg(FilledBytes(image))\n                                  .arg(compiler::kProgramSize) @@ .arg(compiler::kProgramSize)\n                                  .arg(FilledBytes(image))
V8 @@ device/frm_device.cpp @@ a counter or timer may not be written 0 @@ return ToWhole(text, 0, 255); @@ return ToWhole(text, 1, 255);
V9 @@ device/frm_device.cpp @@ the Error box's cursor stays at the end: the code scrolls out of view @@ m_txtPara[30]->home(false); @@ // cursor left where setText put it
V10 @@ device/frm_device.cpp @@ the right Read All skips the last analog input @@ for (int i = 20; i <= 29 && ok && self; ++i) @@ for (int i = 20; i < 29 && ok && self; ++i)
V11 @@ device/frm_device.cpp @@ closing the window while one command waits deletes it at once @@ if (m_busy > 0) {\n        // A command still waits @@ if (m_busy > 1) {\n        // A command still waits
V12 @@ device/frm_device.cpp @@ a window that finds no drive shows the access hint though no port was denied @@ if (m_motorPort == 0 && !m_link.DeniedPorts().isEmpty()) @@ if (m_motorPort == 0)
P1 @@ monitor/sample_history.cpp @@ the ring's start wraps one cell early: a wrapped history skips a sample and repeats another @@ if (start == static_cast<int>(cells.size())) @@ if (start == static_cast<int>(cells.size()) - 1)
P2 @@ monitor/sample_history.cpp @@ a bucket's maximum is taken from its minimum: a spike between lower samples is lost @@ bucket.max = std::max(bucket.max, raw.value); @@ bucket.max = std::max(bucket.min, raw.value);
P3 @@ monitor/sample_history.cpp @@ a sample exactly ten minutes back is dropped @@ while (m_raw.At(0).msecs < oldest) { @@ while (m_raw.At(0).msecs <= oldest) {
P4 @@ monitor/sample_history.cpp @@ Clear keeps the pauses: a new recording's line is cut at the old one's breaks @@ m_reducedBuckets = 0;\n    m_breaks.clear(); @@ m_reducedBuckets = 0;
P5 @@ monitor/sample_history.cpp @@ a bucket that takes its second sample is not counted as reduced @@ if (bucket.count++ == 1) @@ if (++bucket.count == 1)
P6 @@ monitor/sample_history.cpp @@ the extent of a range leaves out the entries at its last millisecond @@ ForEach(i, FirstIndex(to, true) - 1, @@ ForEach(i, FirstIndex(to, false) - 1,
P7 @@ monitor/sample_history.h @@ one bucket fewer than ten minutes touch: the oldest slot goes early @@ static_cast<int>(kSpanMs / kBucketMs) + 1; @@ static_cast<int>(kSpanMs / kBucketMs);
P8 @@ monitor/plot_scale.cpp @@ values from exactly 0 get a negative axis @@ const bool floored = lo >= 0; @@ const bool floored = lo > 0;
P9 @@ monitor/plot_scale.cpp @@ the readout's fit on the right forgets its width: it runs off the right edge @@ if (left + width > bounds.right()) @@ if (left > bounds.right())
P10 @@ monitor/trace_path.cpp @@ the first sample after a pause is joined to the run before it @@ entry.msecs >= *nextBreak @@ entry.msecs > *nextBreak
P11 @@ monitor/trace_path.cpp @@ a thinned column of samples kept in full shows only its last value: a spike goes @@ column.spread = true;\n            if (low < column.min) { @@ if (low < column.min) {
P13 @@ monitor/monitor_session.cpp @@ a value ticked again is joined across the time it was not read @@ m_histories[static_cast<std::size_t>(channel)].MarkBreak(); @@ (void)0;
P14 @@ monitor/monitor_session.cpp @@ a resumed recording restarts its clock: its new samples come before the old and are refused @@ return history.Empty(); }))\n        m_clock.restart(); @@ return history.Empty(); }) || true)\n        m_clock.restart();
P15 @@ monitor/monitor_session.cpp @@ Clear keeps the count of reads @@ m_reads = 0;\n    m_clock.restart(); @@ m_clock.restart();
P16 @@ monitor/monitor_csv.cpp @@ the CSV's min and max columns swapped @@ RecordingCsv::Extremes{entry.min, entry.max} @@ RecordingCsv::Extremes{entry.max, entry.min}
P17 @@ monitor/frm_communication.cpp @@ the Communication window's times count from the first event, not from when it began to observe @@ if (m_model->rowCount() == 0)\n        m_model->SetOrigin(link.Elapsed()); @@ // origin left to the first event
P18 @@ monitor/communication_model.cpp @@ Clear restarts the log's time at the next event @@ beginResetModel();\n    m_rows.clear(); @@ beginResetModel();\n    m_rows.clear();\n    m_origin.reset();
P19 @@ monitor/plot_view.h @@ the plot shows a minute by default, not thirty seconds @@ kDefaultSpanMs = 30 * 1000; @@ kDefaultSpanMs = 60 * 1000;
P20 @@ monitor/frm_monitor.cpp @@ the status line gives the cursor's time in milliseconds labelled seconds @@ .arg(static_cast<double>(msecs) / 1000.0, 0, 'f', 3) @@ .arg(static_cast<double>(msecs), 0, 'f', 3)
EOF

die() {
    echo "mutation-check: $*" >&2
    exit 2
}

# The mutant table as tab-separated fields; \n in a search or replacement
# text stands for a line break (C++ "\r\n" is written as it is: only a
# backslash-n followed by blanks is taken as a break).
mutant_rows() {
    printf '%s\n' "$MUTANTS" | python3 -c '
import sys
for n, line in enumerate(sys.stdin, 1):
    line = line.rstrip("\n")
    if not line.strip() or line.lstrip().startswith("#"):
        continue
    fields = [f.strip() for f in line.split("@@")]
    if len(fields) != 5 or not all(fields[:4]):
        sys.exit("mutation-check: mutant table line %d is not ID @@ file @@ fault @@ search @@ replacement" % n)
    print("\t".join(fields))
'
}

# apply FILE SEARCH REPLACEMENT [--dry]: prints how often SEARCH occurs in
# FILE; replaces it only when exactly once (and not --dry). SEARCH and
# REPLACEMENT may hold "\n" followed by blanks for a line break.
apply_mutant() {
    python3 - "$@" <<'PY'
import re, sys
path, search, replacement = sys.argv[1:4]
dry = len(sys.argv) > 4
unescape = lambda s: re.sub(r"\\n(?= )", "\n", s)
search, replacement = unescape(search), unescape(replacement)
with open(path, "rb") as f:
    text = f.read().decode("utf-8")
count = text.count(search)
print(count)
if count == 1 and not dry:
    with open(path, "wb") as f:
        f.write(text.replace(search, replacement).encode("utf-8"))
PY
}

keep=0
list=0
check=0
jobs=2
niceness=10
dir=""
only=()
while [ $# -gt 0 ]; do
    case "$1" in
    --keep) keep=1 ;;
    --list) list=1 ;;
    --check) check=1 ;;
    --only)
        [ $# -ge 2 ] || die "--only needs an ID"
        IFS=, read -r -a ids <<<"$2"
        only+=("${ids[@]}")
        shift
        ;;
    --dir)
        [ $# -ge 2 ] || die "--dir needs a folder"
        dir=$2
        shift
        ;;
    --jobs | -j)
        [[ $# -ge 2 && $2 =~ ^[1-9][0-9]*$ ]] || die "--jobs needs a positive number"
        jobs=$2
        shift
        ;;
    --nice)
        [[ $# -ge 2 && $2 =~ ^-?[0-9]+$ ]] || die "--nice needs a number"
        niceness=$2
        shift
        ;;
    -h | --help)
        usage
        exit 0
        ;;
    *)
        usage >&2
        exit 2
        ;;
    esac
    shift
done

command -v python3 >/dev/null || die "python3 is needed"
rows=$(mutant_rows) || exit 2

if [ "$list" -eq 1 ]; then
    printf '%-4s %-32s %s\n' ID FILE FAULT
    while IFS=$'\t' read -r id file what _ _; do
        printf '%-4s %-32s %s\n' "$id" "$file" "$what"
    done <<<"$rows"
    exit 0
fi

# The mutants to run, in table order.
selected=()
while IFS=$'\t' read -r id _; do
    if [ ${#only[@]} -eq 0 ]; then
        selected+=("$id")
    else
        for want in "${only[@]}"; do
            [ "$want" = "$id" ] && selected+=("$id")
        done
    fi
done <<<"$rows"
for want in "${only[@]}"; do
    grep -q "^${want}"$'\t' <<<"$rows" || die "no mutant $want (see --list)"
done
dupes=$(cut -f1 <<<"$rows" | sort | uniq -d)
[ -z "$dupes" ] || die "mutant IDs used twice: $dupes"

repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel) || die "not in a git repository"
commit=$(git -C "$repo" rev-parse HEAD)

if [ "$check" -eq 1 ]; then
    # Against the committed files, read through git: nothing is written.
    tmp=$(mktemp)
    trap 'rm -f "$tmp"' EXIT
    bad=0
    while IFS=$'\t' read -r id file _ search replacement; do
        if ! git -C "$repo" show "$commit:$file" >"$tmp" 2>/dev/null; then
            echo "$id: $file is not in $commit"
            bad=1
            continue
        fi
        count=$(apply_mutant "$tmp" "$search" "$replacement" --dry)
        if [ "$count" != 1 ]; then
            echo "$id: stale, its search text occurs $count times in $file"
            bad=1
        fi
    done <<<"$rows"
    [ "$bad" -eq 0 ] && echo "all $(wc -l <<<"$rows") mutants match exactly once"
    exit "$bad"
fi

if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
    echo "mutation-check: uncommitted changes in $repo are not part of the check;" \
        "it runs on commit ${commit:0:12}" >&2
fi

# The scratch folder: never the work tree, never inside it.
created=0
if [ -z "$dir" ]; then
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/ktmotor-mutation.XXXXXX")
    created=1
else
    mkdir -p "$dir"
    scratch=$(cd "$dir" && pwd -P)
    keep=1
fi
case "$scratch/" in
"$(cd "$repo" && pwd -P)/"*) die "the scratch folder $scratch lies inside the work tree" ;;
esac
src="$scratch/src"
build="$src/build"
logs="$scratch/logs"

mutated=""
# shellcheck disable=SC2317 # run by the trap below
cleanup() {
    # Put a mutated file back, whatever stopped us.
    if [ -n "$mutated" ] && [ -d "$src/.git" ]; then
        git -C "$src" checkout -q -- "$mutated" || true
    fi
    if [ "$keep" -eq 1 ]; then
        echo "mutation-check: scratch folder kept: $scratch" >&2
    elif [ "$created" -eq 1 ]; then
        rm -rf "$scratch"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -d "$src/.git" ]; then
    # A clone from an earlier run: bring it to this commit, keep its build.
    echo "== reusing the clone in $src"
    git -C "$src" checkout -q -- . # only the scratch clone, never the work tree
    git -C "$src" fetch -q "$repo" "$commit" 2>/dev/null || git -C "$src" fetch -q "$repo"
    git -C "$src" checkout -q --detach "$commit"
else
    [ -z "$(ls -A "$scratch" 2>/dev/null)" ] || die "$scratch is not empty and holds no clone"
    echo "== cloning ${commit:0:12} into $src"
    git clone -q --no-hardlinks "$repo" "$src"
    git -C "$src" checkout -q --detach "$commit"
fi
mkdir -p "$logs"

run_nice() {
    nice -n "$niceness" "$@"
}

export QT_QPA_PLATFORM=offscreen
ctest_args=(--test-dir "$build" -j"$jobs" --timeout 60)
full_ctest_args=("${ctest_args[@]}" --output-on-failure)

# The suite under a mutant, stopped at its first failure: one failing test is
# enough, and a mutant that breaks the drive would otherwise sit through every
# test's time-out. (ctest's own --stop-on-failure is not in every version.)
suite_until_failure() {
    local log=$1 pid status
    setsid nice -n "$niceness" ctest "${ctest_args[@]}" >"$log" 2>&1 &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        if grep -qE '\*\*\*(Failed|Timeout|Exception)|Subprocess aborted|SEGFAULT' "$log"; then
            kill -- -"$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            return 1
        fi
        sleep 0.5
    done
    wait "$pid" && status=0 || status=$?
    return "$status"
}

# Builds take turns with others on the machine when KT_BUILD_LOCK names a lock.
locked() {
    if [ -n "${KT_BUILD_LOCK:-}" ]; then
        flock "$KT_BUILD_LOCK" "$@"
    else
        "$@"
    fi
}

build_tree() {
    locked nice -n "$niceness" cmake --build "$build" -- -j"$jobs"
}

# No debug information and, where there is one, a faster linker: each mutant
# relinks every program that uses the mutated library.
fast_flags=(-DCMAKE_CXX_FLAGS_DEBUG=-O0)
if command -v ld.lld >/dev/null; then
    fast_flags+=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld)
fi

echo "== configuring and building (jobs $jobs, nice $niceness); log: $logs/baseline-build.log"
start=$SECONDS
if ! {
    locked nice -n "$niceness" cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DKT_BUILD_BENCH=OFF -DKT_WERROR=OFF "${fast_flags[@]}" && build_tree
} >"$logs/baseline-build.log" 2>&1; then
    tail -n 30 "$logs/baseline-build.log" >&2
    die "the unmutated tree does not build"
fi
echo "   built in $((SECONDS - start)) s"

echo "== running the suite on the unmutated tree; log: $logs/baseline-test.log"
start=$SECONDS
if ! run_nice ctest "${full_ctest_args[@]}" >"$logs/baseline-test.log" 2>&1; then
    tail -n 30 "$logs/baseline-test.log" >&2
    die "the suite fails without any mutant; fix that first"
fi
echo "   passed in $((SECONDS - start)) s"

declare -A result seconds fileof whatof by
caught=0
survived=0
unbuilt=0
stale=0
for id in "${selected[@]}"; do
    IFS=$'\t' read -r _ file what search replacement < <(grep "^${id}"$'\t' <<<"$rows")
    fileof[$id]=$file
    whatof[$id]=$what
    start=$SECONDS
    if [ ! -f "$src/$file" ]; then
        result[$id]="stale (no such file)"
        stale=$((stale + 1))
        seconds[$id]=0
        echo "== $id: stale, $file does not exist"
        continue
    fi
    mutated=$file
    count=$(apply_mutant "$src/$file" "$search" "$replacement")
    if [ "$count" != 1 ]; then
        mutated=""
        result[$id]="stale (matches $count times)"
        stale=$((stale + 1))
        seconds[$id]=0
        echo "== $id: stale, its search text occurs $count times in $file"
        continue
    fi
    echo "== $id: $file: $what"
    if ! build_tree >"$logs/$id-build.log" 2>&1; then
        result[$id]="did not build"
        unbuilt=$((unbuilt + 1))
    elif suite_until_failure "$logs/$id-test.log"; then
        result[$id]="SURVIVED"
        survived=$((survived + 1))
    else
        result[$id]="caught"
        caught=$((caught + 1))
        # The first test that failed, as ctest prints it: "Test #NN: Name ...***Failed".
        by[$id]=$(grep -m1 -E '\*\*\*(Failed|Timeout|Exception)|Subprocess aborted|SEGFAULT' "$logs/$id-test.log" |
            sed -E 's/.*Test +#[0-9]+: ([^ ]+) .*/\1/') || true
    fi
    git -C "$src" checkout -q -- "$file"
    mutated=""
    seconds[$id]=$((SECONDS - start))
    echo "   ${result[$id]} ($((SECONDS - start)) s)"
done

# A kept folder is left built as committed, ready for the next run.
if [ "$keep" -eq 1 ] && [ ${#selected[@]} -gt 0 ]; then
    build_tree >"$logs/restore-build.log" 2>&1 || true
fi

echo
printf '%-4s %-32s %-60s %-22s %7s  %s\n' ID FILE FAULT RESULT SECONDS "CAUGHT BY"
for id in "${selected[@]}"; do
    printf '%-4s %-32s %-60s %-22s %7s  %s\n' "$id" "${fileof[$id]}" "${whatof[$id]}" \
        "${result[$id]}" "${seconds[$id]}" "${by[$id]:-}"
done
echo
ran=$((caught + survived))
echo "caught $caught of $ran (did not build: $unbuilt, stale: $stale; logs in $logs)"
[ "$survived" -eq 0 ] && [ "$unbuilt" -eq 0 ] && [ "$stale" -eq 0 ]
exit
}
