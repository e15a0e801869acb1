#include "output/interruptions.hpp"

#include "output/output_file.hpp"
#include "platform/platform.hpp"

namespace {

// Only calls that are safe in a signal handler. The signal's default is
// back once the handler runs, so the signal raised again ends the run when
// the handler returns and lets it through.
void end_interrupted_run(int signal) {
    remove_open_temporaries();
    platform::end_as_interrupted(signal);
}

} // namespace

void remove_temporaries_when_interrupted() {
    platform::on_interruption(end_interrupted_run);
}
