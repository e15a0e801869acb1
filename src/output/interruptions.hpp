// A run ended by SIGINT, SIGTERM or SIGHUP (Ctrl-C, kill, a closed
// terminal) leaves no temporary file behind: the handler removes those of
// the outputs open at that moment, then ends the run as the signal would
// have, so that the shell sees the signal. SIGKILL cannot be caught; a file
// it leaves is named ".NAME.orvasm-PID-N" beside the output NAME.
#pragma once

// Installs the handler for the three signals, except one the run was
// started to ignore (nohup), which stays ignored.
void remove_temporaries_when_interrupted();
