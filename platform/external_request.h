// The request sent to the running program from outside: SIGUSR1 (kill -USR1 <pid>). The
// signal handler only sets a flag; the window's event pump turns it into one
// WindowEventType::ExternalRequest for the window procedure.
#pragma once

#include <cstdint>

// Installs the SIGUSR1 handler. Returns 0 / -1.
int32_t InstallExternalRequestHandler();
// Restores the default SIGUSR1 action and clears a pending request.
void RemoveExternalRequestHandler();
// True when a request arrived since the last call; several signals in between count once.
bool TakeExternalRequest();
