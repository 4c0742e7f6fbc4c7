#pragma once

// The whole zelvlan run: pick the command from --app=<word>, run its handler,
// append the run-log line stamped at the start. Returns the exit status, 0.
int zelvlan_main(int argc, char** argv) noexcept;
