#include "output/interruptions.hpp"

#include <csignal>

#include "output/output_file.hpp"

namespace {

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP};

// Only calls that are safe in a signal handler. The disposition is the
// default again once the handler runs (SA_RESETHAND), so the signal raised
// again ends the run when the handler returns and unblocks it.
void end_interrupted_run(int signal) {
    remove_open_temporaries();
    raise(signal);
}

} // namespace

void remove_temporaries_when_interrupted() {
    struct sigaction action = {};
    action.sa_handler = end_interrupted_run;
    action.sa_flags = SA_RESETHAND;
    sigfillset(&action.sa_mask);
    for (int signal : INTERRUPTIONS) {
        struct sigaction before = {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}
