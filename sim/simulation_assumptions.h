// The choices the simulated drive makes where the real drive's behaviour is
// unknown, as one text the help can show. Not a description of the real drive:
// a description of this model, kept beside the code that implements it.
#pragma once

#include <string_view>

namespace kt::sim {

inline constexpr std::string_view kSimulationAssumptions =
    R"(How the simulated drive runs a program

The simulator is a model of the drive, not the drive. Where the drive's own
behaviour is not known, it makes these choices:

Time
- Every statement takes 1 ms of simulated time; skipped statements take none.
  A Loop that jumps back to its Do costs 1 ms, and the Do another 1 ms.
- The timers count down once every 100 ms tick of the simulated clock. The
  ticks fall on whole multiples of 100 ms since power-up, so a timer set to k
  runs out between (k-1) x 100 ms and k x 100 ms after it was set.
- The motor model moves on every 10 ms.

Timers
- TriggerTimerN k (or By Counter.n) writes k to timer N (address 7 + N) and
  clears TimerFlag.N. Each tick lowers every timer above 0 by one; when one
  reaches 0 its TimerFlag is set and stays set until the timer is triggered
  again. Triggering with 0 sets the flag at once. A timer written from the
  link counts down and sets its flag the same way.
- The timer flags are kept by the interpreter, not in the data memory.

Statements
- Counter0 And 5 means Counter0 = Counter0 And 5; Flag0 Or Not Input.3 means
  Flag0 = Flag0 Or Not Input.3; the same for And, Or, Xor with every operand.
- If / Else / End If and Do / Loop pair when the program is loaded, nested as
  the compiler nests them. A false If goes on after its Else, or after its
  End If. An Else reached from the If part goes on after the End If. Loop goes
  back to its Do. A Do Until condition is tested at the Do, every time round:
  when it holds, the program goes on after the Loop.
- An If with two Else statements (the compiler lets one through when a nested
  If stands between them): the part after the second Else never runs.
- If ClickedToTrue Input.n holds when input n is on now and was off when that
  same statement last ran; ClickedToFalse the other way round. Each such
  statement has its own memory. The first time a statement runs after a load,
  a restart or Reset Program it only remembers the input and does not hold.
- Word counters are 16 bits and wrap around: 65535 + 1 gives 0, 0 - 1 gives
  65535. Counters are the bytes of the word counters (counter 2n is the low
  byte of word counter n).
- AccelerateRate, DecelerateRate, RefrenceSpeed and WordCounter0 given a value
  store its count of tenths (50.5 is stored as 505). Copies from and to word
  counters copy the 16-bit value unchanged.
- CurrentLimit and Volt% store their byte and a 0 above it.
- Reset Program goes back to the first statement and forgets the click
  memories. It changes no value in the data memory; timers keep running.
- The program never writes the inputs or the analog inputs; only the user
  does. It may write outputs, flags, CommandForward, CommandReverse and
  AutoTorque; MotorEnable and MotorForward are the motor's to set.

The motor
- The motor runs when exactly one of CommandForward and CommandReverse is set
  and the Fault bit is clear; both set count as neither. A command written
  over the line to the virtual drive starts the same ramp as a program's.
- Its speed moves toward the reference speed (in reverse when
  CommandReverse) at the acceleration rate while it speeds up and at the
  deceleration rate while it slows down, in tenths per second: with the rate
  5.0 the speed changes by 5.0 every second. A reversal first slows to rest.
  A rate of 0 means no ramp: the speed jumps. Without a command it slows to
  rest at the deceleration rate.
- CurrentSpeed (address 12) shows the speed without its direction, in tenths.
- MotorEnable is set while the drive powers the motor: while it runs, and
  while it still turns on its way to rest. MotorForward is set while it turns
  forward, or stands still with CommandForward alone set.
- Motor voltage rises with the speed up to the reference voltage (Volt%).
- Motor current is 0 while the motor is off, 20 steps (5.1 A) at a steady
  speed and 60 steps (15.3 A) while the speed ramps, never above the current
  limit. The current limit does not slow the ramp; AutoTorque changes nothing.
- Bus voltage stays at its power-up value; the model never sets the Fault
  bit or the errors 3, 4 and 5.

Errors
- A program is checked when it is loaded. An opcode no statement has, or an
  operand naming something the drive lacks (a counter above 7, a bit outside
  inputs, outputs, flags, status and the four timer flags, a write to an
  input, to a status bit other than the three commands or to a timer flag),
  gives error 2, "Program instruction is not identified.". So does an Else,
  End If or Loop without its opening statement. An If or Do never closed
  gives error 1, "Program passed end of buffer.", because the search for its
  partner runs past the program.
- Running on past the last statement (a program that does not end with a
  Loop) gives error 1.
- The program ends at the first byte 255 in an opcode's place, or after 127
  statements. An erased program memory is no program: nothing runs, no error.
- On an error the program stops, ProgramRunMode and the two command bits are
  cleared (so the motor slows to rest) and the error byte (address 75) holds
  the code. Loading a program clears the error byte and starts the program.
- Stop in the simulator stops the program the same way, without an error:
  the commands go, and the motor slows to rest at the deceleration rate.

Power-up values
The simulator, the simulate command and the virtual drive all start from
these (the count in memory, then the reading):
- Identification 7
- BusVolt 446 (47.96733 V)
- DecelerationRate 50 (5)
- AccelerationRate 50 (5)
- ReferenceSpeed 250 (25)
- ReferenceVolt 128 (50 %)
- CurrentLimit 100 (25.5 A)
- everything else 0: every input off, the analog inputs at 0, no error.
)";

} // namespace kt::sim
