// Any program image into the simulator, as a damaged file or a drive's
// upload might give it: Load refuses it with a code or takes it, and running
// it for a while ends in a run or an error stop, never a crash or a hang; the
// identification byte, which no statement may write, stays as it powered up.
//
// Layout: the image's bytes, padded with the unused fill.
#include "compiler/program_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "fuzz_check.h"
#include "sim/program_interpreter.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kt::compiler::ProgramImage image;
    image.fill(kt::compiler::kImageFill);
    std::copy_n(data, std::min(size, image.size()), image.begin());
    kt::sim::ProgramInterpreter sim;
    const std::uint8_t identification =
        sim.Byte(kt::drivemap::Address(kt::drivemap::Id::Identification));
    KT_FUZZ_CHECK(sim.Load(image) <= 2);
    sim.RunFor(300);
    KT_FUZZ_CHECK(sim.Running() == (sim.Error() == 0));
    KT_FUZZ_CHECK(sim.Byte(kt::drivemap::Address(kt::drivemap::Id::Identification)) ==
                  identification);
    return 0;
}
