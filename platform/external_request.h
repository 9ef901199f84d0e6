// The request sent to the running program from outside: SIGUSR1 (kill -USR1 <pid>). The
// signal handler only sets a flag; the window's event pump turns it into one
// WindowEventType::ExternalRequest for the window procedure.
#pragma once

#include <cstdint>

// Installs the SIGUSR1 handler and unblocks the signal on the calling thread (threads made
// later inherit that). The program does this before anything else; a request that arrives
// before the window exists is answered once the window pumps. Returns 0 / -1.
int32_t InstallExternalRequestHandler();
// Forgets a pending request; the handler stays.
void DropExternalRequests();
// Restores the default SIGUSR1 action and clears a pending request.
void RemoveExternalRequestHandler();
// True when a request arrived since the last call; several signals in between count once.
bool TakeExternalRequest();
